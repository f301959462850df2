#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

#include <functional>

namespace plimsy {

// The add sheet's road: store the key of a new pending account, check it against Forge, then keep
// the account, or let the user decide when the check failed. A pending account that is not kept in
// the end takes its key out of the key store again. GUI thread.
class AddForgeAccountViewModel : public QObject
{
    Q_OBJECT

public:
    // The outside effects, bound to one pending account by the sheet's maker.
    struct Dependencies
    {
        // Makes the pending account (replacing and discarding an earlier one) and stores its key; false,
        // with nothing pending, when the key store refused the key.
        std::function<bool(const QString &name, const QString &key)> storeKey;
        // Checks the pending account's key against Forge; throws when Forge cannot be used with it.
        std::function<QCoro::Task<>()> verify;
        // Appends the pending account to the stored list and announces it.
        std::function<void()> persist;
        // Forgets the pending account and removes its key, unless it was kept.
        std::function<void()> discard;
    };

    explicit AddForgeAccountViewModel(Dependencies dependencies, QObject *parent = nullptr);
    ~AddForgeAccountViewModel() override;

    bool isSaving() const { return m_isSaving; }
    bool needsConfirmation() const { return m_needsConfirmation; }
    bool isFinished() const { return m_isFinished; }

    // Whether `save` would start: a name and a key that are not blank.
    static bool canSave(const QString &name, const QString &key);

    // Stores the trimmed key for a new pending account named by the trimmed name, then checks it.
    void save(const QString &name, const QString &key);
    // "Save Anyway": keeps the pending account without a successful check.
    void confirmSave();
    // "Cancel" after a failed check: back to editing; the pending account and its key are dropped.
    void cancelConfirmation();
    // The sheet closed without adding.
    void abandon();

Q_SIGNALS:
    void isSavingChanged(bool isSaving);
    void needsConfirmationChanged(bool needsConfirmation);
    void isFinishedChanged(bool isFinished);
    // The key store refused the key: nothing was added.
    void keyNotStored();

private:
    QCoro::Task<> check();
    void setSaving(bool value);
    void setNeedsConfirmation(bool value);
    void setFinished(bool value);

    Dependencies m_dependencies;
    bool m_isSaving = false;
    bool m_needsConfirmation = false;
    bool m_isFinished = false;

    Q_DISABLE_COPY_MOVE(AddForgeAccountViewModel)
};

} // namespace plimsy
