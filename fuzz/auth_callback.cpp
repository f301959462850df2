// The address the browser hands back after sign-in, as it reaches the application in text.
#include "FuzzTarget.h"
#include "account/AuthManager.h"

void fuzzOne(const QByteArray &input)
{
    plimsy::AuthManager::callbackParameters(QUrl(QString::fromUtf8(input)));
}
