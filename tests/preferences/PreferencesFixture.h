#pragma once

#include "RecordingUrlOpener.h"
#include "StatusMenuFixture.h"
#include "actionbar/GlobalHotkeyManager.h"
#include "core/SimpleKeychain.h"
#include "notifications/PushNotificationManager.h"
#include "platform/DockVisibilityManager.h"
#include "preferences/PreferencesServices.h"
#include "preferences/PreferencesWindowController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPointer>

namespace plimsy::test {

// The real Preferences window over the status menu's fixture: the same defaults, key store, sign-in,
// alerts and FakeForge, with a legacy relay item of the test's own and no browser.
class PreferencesFixture : public StatusMenuFixture
{
protected:
    void TearDown() override
    {
        closeSheets();
        window.reset();
        SimpleKeychain(legacyService).removeAll(KeychainProtocol::Kind::Default);
        SimpleKeychain(legacyService).removeAll(KeychainProtocol::Kind::Legacy);
        SimpleKeychain(keyService).removeAll(KeychainProtocol::Kind::Default);
        StatusMenuFixture::TearDown();
    }

    PreferencesServices preferencesServices()
    {
        PreferencesServices s;
        s.defaults = &defaults;
        s.alerts = &alerts;
        s.urlOpener = &opener;
        s.sleeper = &sleeper;
        s.forge = services().forge;
        s.authService = &accountServices.authService();
        s.authManager = authManager;
        s.pushManager = &push;
        s.legacyRelayKeychain = &legacyKeychain;
        s.hotkeyManager = &hotkeys;
        s.records = &appState;
        return s;
    }

    PreferencesWindowController &openWindow(const QString &tab = {})
    {
        window = std::make_unique<PreferencesWindowController>(preferencesServices());
        if (!tab.isEmpty()) {
            window->selectTab(tab);
        }
        window->showWindow();
        QCoreApplication::processEvents();
        return *window;
    }

    template <typename T = QWidget> T *find(const QString &name, QWidget *in = nullptr) const
    {
        T *found = (in ? in : window.get())->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    // The open sheet of the window, found by its object name. A finished sheet deletes itself.
    QPointer<QDialog> sheet(const QString &name) const
    {
        for (QDialog *dialog : window->findChildren<QDialog *>(name)) {
            if (dialog->isVisible()) {
                return dialog;
            }
        }
        return nullptr;
    }

    static bool isOpen(const QPointer<QDialog> &sheet) { return sheet && sheet->isVisible(); }

    void click(QWidget *in, const QString &name) const
    {
        auto *button = in->findChild<QAbstractButton *>(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        ASSERT_TRUE(button->isEnabled()) << name.toStdString();
        button->click();
        QCoreApplication::processEvents();
    }

    // Answers the newest open alert with the button titled `title`.
    void answer(const QString &title)
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, 20'000));
        const auto shown = alerts.open().last();
        const qsizetype index = shown.alert.buttons.indexOf(title);
        ASSERT_GE(index, 0) << title.toStdString();
        alerts.answer(shown.id, int(index));
        QCoreApplication::processEvents();
    }

    // Picks the entry as a user does: through the pop-up's activation.
    void pick(QComboBox *picker, const QString &title)
    {
        const int index = picker->findText(title);
        ASSERT_GE(index, 0) << title.toStdString();
        picker->setCurrentIndex(index);
        Q_EMIT picker->activated(index);
        QCoreApplication::processEvents();
    }

    void closeSheets()
    {
        if (!window) {
            return;
        }
        for (QDialog *dialog : window->findChildren<QDialog *>()) {
            dialog->done(QDialog::Rejected);
        }
        QCoreApplication::processEvents();
    }

    RecordingUrlOpener opener;
    QString legacyService =
        QStringLiteral("com.tindrel.plimsy.test.legacy.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    SimpleKeychain legacyKeychain{legacyService};
    // A real key store of the test's own, for the tests that make it fail part-way.
    QString keyService =
        QStringLiteral("com.tindrel.plimsy.test.keys.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    PushNotificationManager push{
        {nullptr, &defaults, &sleeper, &accountServices.authService(), &accountServices.deviceService()}};
    GlobalHotkeyManager hotkeys{defaults};
    std::unique_ptr<PreferencesWindowController> window;
};

} // namespace plimsy::test
