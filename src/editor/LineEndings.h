#pragma once

#include <QString>

namespace plimsy {

// The editor keeps one line ending for its whole text, so an edited text comes back with every line
// ending alike. This gives each line back the ending it had when the text was loaded: lines a line
// diff maps to a loaded line keep that line's ending, changed lines take the ending of the line they
// replace, and added lines that of the line before them (the text's most common one at the top). The
// last line never gets one, as in the editor. `edited` may end its lines in any way.
QString withLoadedLineEndings(const QString &loaded, const QString &edited);

} // namespace plimsy
