#include "platform/SystemAlertPresenter.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace plimsy {

namespace {

QMessageBox::Icon iconFor(Alert::Style style)
{
    switch (style) {
    case Alert::Style::Informational:
        return QMessageBox::Information;
    case Alert::Style::Critical:
        return QMessageBox::Critical;
    case Alert::Style::Warning:
        break;
    }
    return QMessageBox::Warning;
}

// The button Escape and the window's close button answer with: "Cancel" wherever it is; else the only
// button, or the second of two ("Later", "Try Again"); none among more.
qsizetype cancelButtonIndex(const QStringList &titles)
{
    if (const qsizetype cancel = titles.indexOf(QStringLiteral("Cancel")); cancel >= 0) {
        return cancel;
    }
    if (titles.size() <= 2) {
        return titles.size() - 1;
    }
    return -1;
}

} // namespace

SystemAlertPresenter::SystemAlertPresenter(QObject *parent)
    : AlertPresenter(parent)
{
}

AlertPresenter::AlertId SystemAlertPresenter::show(const Alert &alert)
{
    const AlertId id = allocateId();
    auto *box = new QMessageBox(alert.window);
    box->setObjectName(QStringLiteral("alertMessageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(alert.window ? Qt::WindowModal : Qt::ApplicationModal);
    box->setIcon(iconFor(alert.style));
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    QList<QAbstractButton *> buttons;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        // Roles only decide placement; the answer is the index of the button clicked.
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        QPushButton *button = box->addButton(titles.at(i), role);
        if (i == 0) {
            box->setDefaultButton(button);
        }
        buttons.append(button);
    }
    const qsizetype cancel = cancelButtonIndex(titles);
    if (cancel >= 0) {
        box->setEscapeButton(buttons.at(cancel));
    }
    connect(box, &QMessageBox::buttonClicked, this, [this, id, buttons](QAbstractButton *clicked) {
        finish(id, static_cast<int>(buttons.indexOf(clicked)));
    });
    // The window's close button ends the box without a click; it answers as Escape does. Without a cancel
    // button the box refuses to close that way.
    connect(box, &QDialog::rejected, this, [this, id, cancel] { finish(id, static_cast<int>(cancel)); });
    m_boxes.insert(id, box);
    box->open();
    return id;
}

AlertPresenter::AlertId SystemAlertPresenter::showFilePanel(const FilePanel &panel)
{
    const AlertId id = allocateId();
    auto *dialog = new QFileDialog(panel.window, panel.title, panel.directory);
    dialog->setObjectName(QStringLiteral("filePanelDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(panel.window ? Qt::WindowModal : Qt::ApplicationModal);
    if (panel.kind == FilePanel::Kind::Save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->selectFile(panel.fileName);
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    connect(dialog, &QFileDialog::finished, this, [this, id, dialog](int result) {
        const QStringList files = dialog->selectedFiles();
        Q_EMIT fileChosen(id, result == QDialog::Accepted && !files.isEmpty() ? files.constFirst() : QString());
    });
    dialog->open();
    return id;
}

void SystemAlertPresenter::close(AlertId id)
{
    const QPointer<QMessageBox> box = m_boxes.take(id);
    if (!box) {
        return;
    }
    box->disconnect(this);
    // Not close(): a box without a cancel button refuses that.
    box->hide();
    box->deleteLater();
    Q_EMIT answered(id, Closed);
}

bool SystemAlertPresenter::isShowing(AlertId id) const
{
    const QPointer<QMessageBox> box = m_boxes.value(id);
    return box && box->isVisible();
}

void SystemAlertPresenter::finish(AlertId id, int button)
{
    const QPointer<QMessageBox> box = m_boxes.take(id);
    if (!box) {
        return;
    }
    box->disconnect(this);
    Q_EMIT answered(id, button);
}

} // namespace plimsy
