#include "preferences/AddForgeAccountViewModel.h"

#include "core/RunDetached.h"

#include <QPointer>

#include <exception>

namespace plimsy {

AddForgeAccountViewModel::AddForgeAccountViewModel(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_dependencies(std::move(dependencies))
{
}

AddForgeAccountViewModel::~AddForgeAccountViewModel()
{
    // A sheet torn down in the middle (its check still running) keeps nothing either.
    abandon();
}

bool AddForgeAccountViewModel::canSave(const QString &name, const QString &key)
{
    return !name.trimmed().isEmpty() && !key.trimmed().isEmpty();
}

void AddForgeAccountViewModel::save(const QString &name, const QString &key)
{
    if (!canSave(name, key) || m_isSaving || m_isFinished) {
        return;
    }
    if (!m_dependencies.storeKey(name.trimmed(), key.trimmed())) {
        Q_EMIT keyNotStored();
        return;
    }
    setSaving(true);
    setNeedsConfirmation(false);
    runDetached(check());
}

void AddForgeAccountViewModel::confirmSave()
{
    setNeedsConfirmation(false);
    m_dependencies.persist();
    setSaving(false);
    setFinished(true);
}

void AddForgeAccountViewModel::cancelConfirmation()
{
    setNeedsConfirmation(false);
    setSaving(false);
    m_dependencies.discard();
}

void AddForgeAccountViewModel::abandon()
{
    if (!m_isFinished) {
        m_dependencies.discard();
    }
}

QCoro::Task<> AddForgeAccountViewModel::check()
{
    QPointer self(this);
    // Held by the frame: the view model may go away while Forge answers.
    const std::function<QCoro::Task<>()> verify = m_dependencies.verify;
    bool verified = true;
    try {
        co_await verify();
    } catch (const std::exception &) {
        // Whatever went wrong, the user decides in the same alert.
        verified = false;
    }
    if (!self) {
        co_return;
    }
    if (verified) {
        m_dependencies.persist();
        setSaving(false);
        setFinished(true);
    } else {
        setSaving(false);
        setNeedsConfirmation(true);
    }
}

void AddForgeAccountViewModel::setSaving(bool value)
{
    if (m_isSaving != value) {
        m_isSaving = value;
        Q_EMIT isSavingChanged(value);
    }
}

void AddForgeAccountViewModel::setNeedsConfirmation(bool value)
{
    if (m_needsConfirmation != value) {
        m_needsConfirmation = value;
        Q_EMIT needsConfirmationChanged(value);
    }
}

void AddForgeAccountViewModel::setFinished(bool value)
{
    if (m_isFinished != value) {
        m_isFinished = value;
        Q_EMIT isFinishedChanged(value);
    }
}

} // namespace plimsy
