// A host name as Forge or the user gives it: shown decoded, sent encoded.
#include "core/Puny.h"

#include "FuzzTarget.h"

using namespace plimsy;

void fuzzOne(const QByteArray &input)
{
    const QString host = QString::fromUtf8(input);
    decodeIDNADomain(host);
    encodeIDNADomain(host);
}
