#pragma once

// A small JSON reader of our own rather than QJsonDocument, for what the book tool needs of it:
// QJsonDocument turns every number into a double or an integer, so "-0" comes back as 0 and a
// date's raw bits are lost, while this reader keeps a number's text until the tool converts it;
// every \u escape is one UTF-16 code unit, so a lone surrogate the tool wrote as an escape comes
// back as itself; and an error is reported at a line and column, not a byte offset.

#include <QByteArray>
#include <QString>
#include <vector>

namespace Json {

// A parsed value with the line and column (1-based, in characters) where it starts.
struct Value {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    int line = 0;
    int column = 0;
    QByteArray number;         // the text as written, already held to the JSON grammar
    QString string;            // UTF-16 code units, lone surrogates included
    std::vector<Value> items;  // an array's elements, or an object's member values
    std::vector<QString> keys; // an object's member names, one for each item
};

// "a number", "an object", ... for error messages.
const char* TypeName(Value::Type type);

// What went wrong and where; thrown by Parse and by whoever checks the values it gives.
struct Failure {
    int line;
    int column;
    QString message;
};

// Parses a whole JSON text (UTF-8, a leading byte-order mark allowed); raises Failure.
Value Parse(const QByteArray& text);

} // namespace Json
