#pragma once

#include "DemoData.h"
#include "FakeAccountBackend.h"
#include "FakeForge.h"
#include "TestRecords.h"

#include <QList>

class QDialog;
class QWidget;

#include <functional>

namespace plimsy::test {

// What every page stands on: the demo data set on a FakeForge, a FakeAccountBackend, the application's
// addresses pointed at both, the demo accounts, their keys and a legacy relay key stored as the
// application keeps them (in the sealed session's own defaults and keyring), and the loaded servers and
// sites.
class GalleryScene
{
public:
    GalleryScene();
    ~GalleryScene();

    // Signed in as the backend's user, or signed out, as the account service sees it.
    void signIn();
    void signOut();

    const QList<DemoAccount> &accounts() const { return m_accounts; }

    // Runs the event loop until `ready` holds; false when it did not within the limit.
    static bool waitUntil(const std::function<bool()> &ready);
    // The window's sheet of that name once it shows; none when it did not within the limit.
    static QDialog *waitForSheet(QWidget *window, const QString &name);

private:
    FakeForge m_forge;
    FakeAccountBackend m_backend;
    QList<DemoAccount> m_accounts;
    // The demo's servers and sites as a refresh would have loaded them.
    TestRecords m_records;
};

} // namespace plimsy::test
