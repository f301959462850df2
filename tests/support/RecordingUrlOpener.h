#pragma once

#include "platform/UrlOpener.h"

#include <QList>
#include <QUrl>

namespace plimsy::test {

// Remembers the addresses the code under test opens instead of starting a browser.
class RecordingUrlOpener final : public UrlOpener
{
public:
    bool accepts = true; // what openUrl answers

    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return accepts;
    }

    QList<QUrl> opened;
};

} // namespace plimsy::test
