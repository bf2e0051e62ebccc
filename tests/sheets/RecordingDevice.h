#pragma once

// A paint device that records every text drawn on it, with its pen, its font and where: what a
// sheet drew, and in which colour, read back without looking at pixels.

#include <QPaintEngine>
#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <climits>
#include <vector>

// A device that keeps each text drawn on it with its pen and font.
class RecordingEngine : public QPaintEngine {
public:
    struct Text {
        QString text;
        QColor colour;
        QPointF at;
        bool bold;
    };

    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & DirtyPen)
            m_pen = state.pen();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    using QPaintEngine::drawPolygon;
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF& at, const QTextItem& item) override {
        texts.push_back({item.text(), m_pen.color(), at, item.font().bold()});
    }
    Type type() const override { return User; }

    std::vector<Text> texts;

private:
    QPen m_pen;
};

class RecordingDevice : public QPaintDevice {
public:
    explicit RecordingDevice(const QSize& size) : m_size(size) {}
    ~RecordingDevice() override = default;
    QPaintEngine* paintEngine() const override { return &m_engine; }
    const std::vector<RecordingEngine::Text>& Texts() const { return m_engine.texts; }
    // The texts drawn within rect, joined in the order drawn.
    QStringList TextsIn(const QRectF& rect) const {
        QStringList found;
        for (const auto& t : m_engine.texts) {
            if (rect.contains(t.at))
                found << t.text;
        }
        return found;
    }
    // The first text drawn within rect (anywhere when rect is null) that is text, or begins with
    // it when cut short with "…"; a text that was not drawn at all when there is none.
    RecordingEngine::Text Find(const QString& text, const QRectF& rect = QRectF()) const {
        for (const auto& t : m_engine.texts) {
            const bool same =
                t.text == text ||
                (t.text.endsWith(u'…') && text.startsWith(t.text.chopped(1)) && t.text.size() > 1);
            if (same && (rect.isNull() || rect.contains(t.at)))
                return t;
        }
        ADD_FAILURE() << "not drawn: " << text.toStdString();
        return {QString(), QColor(), QPointF(), false};
    }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return int(m_size.width() * 25.4 / 96);
        case PdmHeightMM:
            return int(m_size.height() * 25.4 / 96);
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    QSize m_size;
    mutable RecordingEngine m_engine;
};
