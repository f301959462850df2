#include "preferences/RenameForgeAccountView.h"

#include "preferences/SheetLayout.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace plimsy {

namespace {

constexpr int MinimumWidth = 320;

} // namespace

RenameForgeAccountView::RenameForgeAccountView(const QString &name, QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit(name, this))
{
    setObjectName(QStringLiteral("renameForgeAccountSheet"));
    QBoxLayout *layout = makeSheetLayout(this, QStringLiteral("Edit Account Name"), MinimumWidth);
    auto *form = new QFormLayout;
    m_name->setObjectName(QStringLiteral("nameField"));
    form->addRow(QStringLiteral("Name"), m_name);
    layout->addLayout(form);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    connect(addSheetButton(buttons, QStringLiteral("Cancel"), QStringLiteral("cancelButton")),
            &QPushButton::clicked,
            this,
            &QDialog::reject);
    m_save = addSheetButton(buttons, QStringLiteral("Save"), QStringLiteral("saveButton"));
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    layout->addLayout(buttons);

    const auto updateSave = [this] { m_save->setEnabled(!this->name().isEmpty()); };
    connect(m_name, &QLineEdit::textChanged, this, updateSave);
    updateSave();
}

QString RenameForgeAccountView::name() const
{
    return m_name->text().trimmed();
}

} // namespace plimsy
