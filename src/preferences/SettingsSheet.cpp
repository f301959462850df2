#include "preferences/SettingsSheet.h"

#include "core/NotificationNames.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "preferences/PreferencesNativeTable.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/SheetLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace plimsy {

namespace {

constexpr int LabelWidth = 80;
constexpr int Spacing = 20;

QLabel *makeRowLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setMinimumWidth(fittingWidth(label, LabelWidth));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

SettingsSheet::SettingsSheet(const Frame &frame, UserDefaults &defaults, QWidget *parent)
    : QDialog(parent)
    , m_table(
          new PreferencesNativeTable({{frame.columnTitle, std::nullopt, 60}}, frame.autosaveName, defaults, {}, this))
    , m_details(new QVBoxLayout)
    , m_done(new QPushButton(QStringLiteral("Done"), this))
{
    setWindowTitle(frame.title);
    // The design's size, or more where a larger font needs it.
    setMinimumSize(frame.size);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(Spacing, Spacing, Spacing, Spacing);
    layout->setSpacing(Spacing);
    m_table->setFixedWidth(frame.tableWidth);
    layout->addWidget(m_table);
    m_details->setSpacing(8);
    layout->addLayout(m_details, 1);

    m_done->setObjectName(QStringLiteral("doneButton"));
    m_done->setDefault(true);
    connect(m_table, &PreferencesNativeTable::selectedIdChanged, this, [this](const QVariant &id) {
        Q_EMIT recordSelected(id.isValid() ? std::optional<qint64>(id.toLongLong()) : std::nullopt);
    });
}

void SettingsSheet::present(const QWidget *tab, AlertPresenter &alerts)
{
    connect(this, &QDialog::finished, this, [this] {
        if (didChangeSettings()) {
            NotificationCenter::defaultCenter().post(NotificationNames::accountsChanged);
        }
        deleteLater();
    });
    placeSheet(this, tab);
    alerts.openSheet(this, tab->window());
}

void SettingsSheet::setRows(QList<PreferencesTableRow> rows)
{
    m_table->setRows(std::move(rows), {});
}

void SettingsSheet::showSelection(std::optional<qint64> id)
{
    const QVariant wanted = id ? QVariant(*id) : QVariant();
    if (m_table->selectedId() != wanted) {
        m_table->selectId(wanted);
    }
}

QLabel *SettingsSheet::addInfoRow(const QString &label, const QString &objectName)
{
    auto *row = new QHBoxLayout;
    row->addWidget(makeRowLabel(label));
    auto *value = new QLabel(this);
    value->setObjectName(objectName);
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(value, 1);
    m_details->addLayout(row);
    return value;
}

void SettingsSheet::addOptionRow(const QString &label, QWidget *control, int spaceAbove)
{
    m_details->addSpacing(spaceAbove);
    auto *row = new QHBoxLayout;
    QLabel *title = makeRowLabel(label);
    nameAfterLabel(title, control);
    row->addWidget(title);
    row->addWidget(control, 1);
    m_details->addLayout(row);
}

void SettingsSheet::addIndented(QWidget *widget, int indent, int spaceAbove)
{
    m_details->addSpacing(spaceAbove);
    auto *row = new QHBoxLayout;
    row->addSpacing(indent);
    row->addWidget(widget, 1);
    m_details->addLayout(row);
}

void SettingsSheet::addCaption(const QString &text, int indent)
{
    addIndented(makeCaptionLabel(text, this), indent);
}

void SettingsSheet::finishDetails()
{
    m_details->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_done);
    m_details->addLayout(row);
}

} // namespace plimsy
