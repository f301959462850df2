// What a later start sends over the single-instance socket, and the URLs the running one takes from it.
#include "FuzzTarget.h"
#include "app/SingleInstanceManager.h"

using plimsy::SingleInstanceManager;

void fuzzOne(const QByteArray &input)
{
    const SingleInstanceManager::Message message = SingleInstanceManager::readMessage(input);
    for (const QString &line : message.lines) {
        SingleInstanceManager::hasApplicationScheme(line);
    }
}
