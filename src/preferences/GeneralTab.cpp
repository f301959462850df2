#include "preferences/GeneralTab.h"

#include "actionbar/GlobalHotkeyManager.h"
#include "core/Logger.h"
#include "core/NotificationNames.h"
#include "menu/OpenTerminal.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "platform/TerminalLauncher.h"
#include "preferences/DefaultsControls.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/UpdaterControl.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace plimsy {

namespace {

const QString HotkeyKey = QStringLiteral("actionBarHotkey");
const QString RefreshIntervalKey = QStringLiteral("autoRefreshInterval");
constexpr qint64 DefaultRefreshInterval = 10;

QList<DefaultsPicker::Choice> terminalChoices()
{
    QList<DefaultsPicker::Choice> choices;
    for (const auto &[application, name] : TerminalLauncher::choices()) {
        choices.append({name, static_cast<qint64>(application)});
    }
    return choices;
}

QList<DefaultsPicker::Choice> hotkeyChoices()
{
    QList<DefaultsPicker::Choice> choices;
    for (const HotkeyOption &option : HotkeyOption::options()) {
        choices.append({option.displayName, option.id});
    }
    return choices;
}

QList<DefaultsPicker::Choice> refreshChoices()
{
    QList<DefaultsPicker::Choice> choices;
    for (const qint64 minutes : {5, 10, 15, 30, 60}) {
        choices.append({minutes == 60 ? QStringLiteral("1 hour") : QStringLiteral("%1 minutes").arg(minutes), minutes});
    }
    return choices;
}

QPushButton *makeButton(const QString &text, const QString &objectName)
{
    auto *button = new QPushButton(text);
    button->setObjectName(objectName);
    return button;
}

} // namespace

GeneralTab::GeneralTab(PreferencesServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("generalTab"));
    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, this, 32);
    layout->addWidget(makeSettingsRows());
    layout->addWidget(makeUpdatesRow());
    layout->addWidget(makeDiagnosticsRow());
    layout->addStretch(1);
}

QWidget *GeneralTab::makeSettingsRows()
{
    UserDefaults &defaults = m_services.userDefaults();
    const QString terminalKey = QString::fromLatin1(OpenTerminal::DefaultKey);
    // Shows the terminal the stored choice opens; the stored value stays until the user picks another.
    m_terminal = new DefaultsPicker(defaults, terminalKey, terminalChoices(), [&defaults, terminalKey] {
        return static_cast<qint64>(TerminalLauncher::openedApplication(storedInteger(defaults, terminalKey, 0)));
    });
    m_terminal->setObjectName(QStringLiteral("terminalPicker"));

    m_hotkey = new DefaultsPicker(
        defaults, HotkeyKey, hotkeyChoices(), [&defaults] { return storedInteger(defaults, HotkeyKey, 0); });
    m_hotkey->setObjectName(QStringLiteral("hotkeyPicker"));
    connect(m_hotkey, &DefaultsPicker::valueChosen, this, [this](qint64 id) {
        m_services.hotkeys().setHotkey(HotkeyOption::option(id));
    });
    m_hotkeyStatus = makeCaptionLabel(QString());
    m_hotkeyStatus->setObjectName(QStringLiteral("hotkeyStatusLabel"));
    connect(
        &m_services.hotkeys(), &GlobalHotkeyManager::registrationStatusChanged, this, &GeneralTab::showHotkeyStatus);

    m_refreshInterval = new DefaultsPicker(defaults, RefreshIntervalKey, refreshChoices(), [&defaults] {
        return storedInteger(defaults, RefreshIntervalKey, DefaultRefreshInterval);
    });
    m_refreshInterval->setObjectName(QStringLiteral("refreshIntervalPicker"));
    connect(m_refreshInterval, &DefaultsPicker::valueChosen, this, [] {
        NotificationCenter::defaultCenter().post(NotificationNames::autoRefreshIntervalChanged);
    });

    for (DefaultsPicker *picker : {m_terminal, m_hotkey, m_refreshInterval}) {
        picker->setFixedWidth(PickerWidth);
    }
    // Under the picker while the key is not held, so a choice that does nothing does not look effective.
    m_hotkeyStatusRow = makePreferenceRow(QString(), m_hotkeyStatus);
    QWidget *stack =
        makeStack(QBoxLayout::TopToBottom,
                  QList<QWidget *>{makePreferenceRow(QStringLiteral("Open Terminal in:"), m_terminal),
                                   makePreferenceRow(QStringLiteral("Action Bar Shortcut:"), m_hotkey),
                                   m_hotkeyStatusRow,
                                   makePreferenceRow(QStringLiteral("Refresh Forge data every:"), m_refreshInterval)},
                  12,
                  Qt::AlignLeft);
    // The full width, as a wrapped text is only given the height its lines need across the width it has.
    stack->layout()->setAlignment(m_hotkeyStatusRow, {});
    return stack;
}

QWidget *GeneralTab::makeUpdatesRow()
{
    m_automaticUpdates = new QCheckBox(QStringLiteral("Check automatically"));
    m_automaticUpdates->setObjectName(QStringLiteral("automaticUpdatesCheckBox"));
    connect(m_automaticUpdates, &QCheckBox::clicked, this, [this](bool isOn) {
        if (m_services.updater) {
            m_services.updater->setAutomaticallyChecksForUpdates(isOn);
        }
    });
    QPushButton *checkNow = makeButton(QStringLiteral("Check Now"), QStringLiteral("checkNowButton"));
    connect(checkNow, &QPushButton::clicked, this, &GeneralTab::checkNow);
    return makePreferenceRow(
        QStringLiteral("Updates:"),
        makeStack(QBoxLayout::TopToBottom, QList<QWidget *>{m_automaticUpdates, checkNow}, 12, Qt::AlignLeft),
        Qt::AlignTop);
}

QWidget *GeneralTab::makeDiagnosticsRow()
{
    m_verboseLogging = new DefaultsCheckBox(
        QStringLiteral("Verbose logging (for debugging)"), m_services.userDefaults(), "verboseLogging", false);
    m_verboseLogging->setObjectName(QStringLiteral("verboseLoggingCheckBox"));
    QPushButton *viewLogs = makeButton(QStringLiteral("View Logs…"), QStringLiteral("viewLogsButton"));
    connect(viewLogs, &QPushButton::clicked, this, [this] {
        if (m_services.showLogsFolder) {
            m_services.showLogsFolder();
        }
    });
    QPushButton *clearLogs = makeButton(QStringLiteral("Clear Logs"), QStringLiteral("clearLogsButton"));
    connect(clearLogs, &QPushButton::clicked, this, [] { Logger::shared().clearLogs(); });
    QWidget *buttons = makeStack(QBoxLayout::LeftToRight, QList<QWidget *>{viewLogs, clearLogs}, 6, Qt::AlignLeft);
    return makePreferenceRow(
        QStringLiteral("Diagnostics:"),
        makeStack(QBoxLayout::TopToBottom, QList<QWidget *>{m_verboseLogging, buttons}, 12, Qt::AlignLeft),
        Qt::AlignTop);
}

void GeneralTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    for (DefaultsPicker *picker : {m_terminal, m_hotkey, m_refreshInterval}) {
        picker->reload();
    }
    m_verboseLogging->reload();
    showHotkeyStatus();
    reloadUpdater();
}

void GeneralTab::showHotkeyStatus()
{
    const GlobalHotkeyManager &hotkeys = m_services.hotkeys();
    const GlobalShortcut::Status status = hotkeys.registrationStatus();
    const bool isWorking =
        status == GlobalShortcut::Status::Registered || status == GlobalShortcut::Status::Registering;
    QString text = hotkeys.registrationStatusText();
    if (status == GlobalShortcut::Status::Taken) {
        text = hotkeys.currentOption().displayName + QStringLiteral(" is ") + text;
    }
    m_hotkeyStatus->setText(text);
    m_hotkeyStatusRow->setVisible(!isWorking);
}

void GeneralTab::reloadUpdater()
{
    // The updater's own setting, not the last click: it may have changed elsewhere.
    m_automaticUpdates->setEnabled(m_services.updater != nullptr);
    m_automaticUpdates->setChecked(m_services.updater && m_services.updater->automaticallyChecksForUpdates());
}

void GeneralTab::checkNow()
{
    if (m_services.updater) {
        m_services.updater->checkForUpdates();
        return;
    }
    m_services.alertPresenter().show({QStringLiteral("Update checks are not part of this build yet."),
                                      QString(),
                                      Alert::Style::Informational,
                                      {},
                                      window()});
}

} // namespace plimsy
