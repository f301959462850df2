#pragma once

#include <QByteArray>

// Each target defines this: one input, handed to the reader exactly as the application hands it bytes.
// The reader's own, expected errors are caught there; anything else escaping is a finding.
void fuzzOne(const QByteArray &input);
