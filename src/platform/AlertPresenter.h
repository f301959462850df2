#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class QDialog;

namespace plimsy {

struct Alert
{
    enum class Style
    {
        Warning,
        Informational,
        Critical,
    };

    QString messageText;
    QString informativeText;
    Style style = Style::Warning;
    // Button titles, the first being the default; none means a single "OK".
    QStringList buttons;
    // The window the alert belongs to: it is window-modal on it (a sheet) when set, else application-modal.
    QPointer<QWidget> window = {};
};

// An open or save panel for one file.
struct FilePanel
{
    enum class Kind
    {
        Open,
        Save,
    };

    Kind kind = Kind::Open;
    QString title;
    // The folder it starts in; empty for the platform's choice.
    QString directory;
    // The suggested file name of a save panel.
    QString fileName;
    // Window-modal on this window when set.
    QPointer<QWidget> window = {};
};

// Shows alerts, sheets and file panels without a nested event loop: each call returns at once and
// `answered` (or `fileChosen`) follows. Buttons are told apart by the button clicked, never by where the
// platform placed them.
class AlertPresenter : public QObject
{
    Q_OBJECT

public:
    using AlertId = quint64;

    // The answer given when an alert is closed by `close` rather than by a button.
    static constexpr int Closed = -1;

    explicit AlertPresenter(QObject *parent = nullptr);

    virtual AlertId show(const Alert &alert) = 0;
    // Ends that alert only (answered with Closed); nothing when it is no longer on screen.
    virtual void close(AlertId id) = 0;
    virtual bool isShowing(AlertId id) const = 0;

    // Shows the alert and resumes with the index of the button chosen, or Closed.
    QCoro::Task<int> ask(Alert alert);

    // Opens `sheet` window-modal over `window` (parenting it there when it has no parent; the caller keeps
    // ownership) with QDialog::open(). Answered with the dialog's result code when it finishes. Sheets are
    // real dialogs for every presenter, so tests drive their widgets.
    AlertId openSheet(QDialog *sheet, QWidget *window);
    // Opens the sheet and resumes with its result code.
    QCoro::Task<int> runSheet(QDialog *sheet, QWidget *window);

    // Shows an open or save panel; `fileChosen` follows with the path, empty when cancelled.
    virtual AlertId showFilePanel(const FilePanel &panel) = 0;
    // Shows the panel and resumes with the chosen path, empty when cancelled.
    QCoro::Task<QString> chooseFile(FilePanel panel);

    // The process-wide presenter of real message boxes.
    static AlertPresenter &system();

Q_SIGNALS:
    void answered(plimsy::AlertPresenter::AlertId id, int button);
    void fileChosen(plimsy::AlertPresenter::AlertId id, const QString &path);

protected:
    // One id space for alerts, sheets and panels of this presenter.
    AlertId allocateId() { return m_nextId++; }

private:
    AlertId m_nextId = 1;

    Q_DISABLE_COPY_MOVE(AlertPresenter)
};

} // namespace plimsy
