#pragma once

#include "platform/core/OleDateTime.h"
#include "platform/ui/DialogTemplate.h"

#include <QString>
#include <functional>

class QWidget;

// One run of a window's data exchange: towards the controls (m_bSaveAndValidate false) or from
// them (true).
class CDataExchange {
public:
    CDataExchange(QWidget* window, bool saveAndValidate)
        : m_pDlgWnd(window), m_bSaveAndValidate(saveAndValidate) {}
    QWidget* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

// Runs exchange in the given direction. An unexpected failure is reported with
// "アプリケーションの内部エラーです。" and gives false.
bool RunDataExchange(QWidget* window, bool saveAndValidate,
                     const std::function<void(CDataExchange*)>& exchange);

// Attaches the control of the given identifier to a member, on the first exchange only.
template <class T>
void DDX_Control(CDataExchange* pDX, int nIDC, T*& control) {
    if (!control)
        control = qobject_cast<T*>(GetDlgItem(pDX->m_pDlgWnd, nIDC));
}

// An edit's whole text and a string member. Towards a multi-line edit the text is replaced only
// when it differs, so the caret and scroll position stay where the user left them.
void DDX_Text(CDataExchange* pDX, int nIDC, QString& value);
// A date picker's date and time of day and a date member.
void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, COleDateTime& value);
