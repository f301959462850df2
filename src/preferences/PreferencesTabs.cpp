#include "preferences/PreferencesTabs.h"

#include "preferences/AccountTab.h"
#include "preferences/AccountTabViewModel.h"
#include "preferences/CustomServersTab.h"
#include "preferences/ForgeTab.h"
#include "preferences/GeneralTab.h"
#include "preferences/MonitorTab.h"
#include "preferences/NotificationsTab.h"
#include "preferences/PreferencesServices.h"
#include "preferences/PreferencesWidgets.h"

#include <QVBoxLayout>
#include <QWidget>

namespace plimsy {

namespace {

QWidget *accountTabView(const PreferencesServices &services)
{
    auto *view = new QWidget;
    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, view, 32);
    layout->addWidget(new AccountTab(new AccountTabViewModel(services.auth(), services.signIn())));
    layout->addWidget(new NotificationsTab(services));
    return view;
}

} // namespace

QWidget *preferencesTabView(const QString &label, const PreferencesServices &services)
{
    if (label == QLatin1String("General")) {
        return new GeneralTab(services);
    }
    if (label == QLatin1String("Forge Accounts")) {
        return new ForgeTab(services);
    }
    if (label == QLatin1String("Servers")) {
        return new CustomServersTab(services);
    }
    if (label == QLatin1String("Monitoring")) {
        return new MonitorTab(services);
    }
    if (label == QLatin1String("Account")) {
        return accountTabView(services);
    }
    return new QWidget;
}

} // namespace plimsy
