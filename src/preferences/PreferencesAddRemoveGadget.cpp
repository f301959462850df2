#include "preferences/PreferencesAddRemoveGadget.h"

#include "preferences/PreferencesWidgets.h"
#include "preferences/ThemeIcon.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>

namespace plimsy {

namespace {

constexpr int SegmentWidth = 24;

} // namespace

PreferencesAddRemoveGadget::PreferencesAddRemoveGadget(bool hasEdit, QWidget *parent)
    : QWidget(parent)
{
    makeBareLayout(QBoxLayout::LeftToRight, this, 0);
    connect(addButton(
                QStringLiteral("addButton"), {QStringLiteral("list-add")}, QStringLiteral("+"), QStringLiteral("Add")),
            &QToolButton::clicked,
            this,
            &PreferencesAddRemoveGadget::addClicked);
    m_remove = addButton(QStringLiteral("removeButton"),
                         {QStringLiteral("list-remove")},
                         QStringLiteral("\u2212"),
                         QStringLiteral("Remove"));
    connect(m_remove, &QToolButton::clicked, this, &PreferencesAddRemoveGadget::removeClicked);
    if (hasEdit) {
        m_edit = addButton(QStringLiteral("editButton"),
                           QStringList{QStringLiteral("document-edit"), QStringLiteral("document-edit-symbolic")},
                           QStringLiteral("\u270E"),
                           QStringLiteral("Edit"));
        connect(m_edit, &QToolButton::clicked, this, &PreferencesAddRemoveGadget::editClicked);
    }
    setRemoveEnabled(false);
    setEditEnabled(false);
}

void PreferencesAddRemoveGadget::setRemoveEnabled(bool enabled)
{
    m_remove->setEnabled(enabled);
}

void PreferencesAddRemoveGadget::setEditEnabled(bool enabled)
{
    if (m_edit) {
        m_edit->setEnabled(enabled);
    }
}

QToolButton *PreferencesAddRemoveGadget::addButton(const QString &objectName,
                                                   const QStringList &iconNames,
                                                   const QString &fallback,
                                                   const QString &tip)
{
    auto *button = new QToolButton(this);
    button->setObjectName(objectName);
    const QIcon icon = themeIcon(iconNames);
    if (icon.isNull()) {
        button->setText(fallback);
    } else {
        // The theme's symbolic icons come in one fixed dark colour: drawn in the button's text colour instead.
        button->setIcon(tintedIcon(icon, button->palette(), QPalette::ButtonText));
    }
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setFixedSize(SegmentWidth, SegmentWidth);
    layout()->addWidget(button);
    return button;
}

} // namespace plimsy
