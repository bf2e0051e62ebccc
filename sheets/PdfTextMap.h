#pragma once

#include <QByteArray>
#include <QFont>

// Qt's PDF writer tells a reader which character each glyph stands for by the lowest code point
// the font maps to that glyph. Noto Sans CJK draws a kanji and its Kangxi radical with one
// glyph, so 月, 日, 見 and some two hundred others would be copied from the PDF, and searched
// for, as the radicals ⽉, ⽇, ⾒. No option of the writer changes that; we mend its maps.
namespace PdfTextMap {

// Mends, in place, the character maps of a PDF that Qt's writer made with font: a glyph that
// the font shares between a radical and a kanji stands for the kanji. Only the maps' four-digit
// codes change, each for another of the same length, so every offset in the file still holds.
// Returns how many codes were mended.
int MendKanji(QByteArray& pdf, const QFont& font);

} // namespace PdfTextMap
