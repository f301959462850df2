// A property list file as the defaults and the bundled preferences are read.
#include "FuzzTarget.h"
#include "platform/PropertyList.h"

#include <QBuffer>

void fuzzOne(const QByteArray &input)
{
    QBuffer buffer;
    buffer.setData(input);
    buffer.open(QIODevice::ReadOnly);
    plimsy::PropertyList::readDictionary(buffer);
}
