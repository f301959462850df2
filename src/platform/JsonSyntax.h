#pragma once

#include <QByteArrayView>

#include <optional>

namespace plimsy {

// Where text breaks JSON's grammar: none when it is one value, in well-formed UTF-8, whose \u escapes
// pair their surrogates; else the offset of the first byte that breaks it (the end when it stops
// short). Qt's parser takes some text that is not JSON and changes it ("\a" reads as "a", raw tabs
// and unpaired surrogates pass), so text from elsewhere is checked with this before Qt parses it.
std::optional<qsizetype> jsonSyntaxError(QByteArrayView text);

} // namespace plimsy
