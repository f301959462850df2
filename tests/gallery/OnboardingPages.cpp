// The onboarding window's screens and the welcome window.
#include "GalleryPage.h"
#include "GalleryScene.h"
#include "RecordingUrlOpener.h"
#include "account/AuthManager.h"
#include "account/ServiceContainer.h"
#include "onboarding/OnboardingWelcomeView.h"
#include "onboarding/OnboardingWindowController.h"
#include "onboarding/WelcomeWindowController.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QLineEdit>

namespace plimsy::test {

namespace {

// A hidden holder that owns the page's window controller, so the runner's release of the page releases it.
template <typename Controller> std::unique_ptr<QWidget> hold(Controller *&controller, PreferencesServices services)
{
    auto holder = std::make_unique<QWidget>();
    controller = new Controller(std::move(services), holder.get());
    controller->showWindow();
    return holder;
}

// The sign-in goes nowhere: the browser is a recorder.
PreferencesServices withoutBrowser()
{
    static RecordingUrlOpener s_browser;
    static AuthManager s_auth(ServiceContainer::shared(), s_browser, UserDefaults::standard());
    PreferencesServices services;
    services.authManager = &s_auth;
    services.urlOpener = &s_browser;
    return services;
}

std::unique_ptr<QWidget> onboardingAt(GalleryScene &scene, OnboardingStep step)
{
    scene.signOut();
    OnboardingWindowController *controller = nullptr;
    auto holder = hold(controller, withoutBrowser());
    controller->showStep(step);
    return holder;
}

} // namespace

QList<GalleryPage> onboardingPages()
{
    return {
        {"onboarding-welcome", [](GalleryScene &scene) { return onboardingAt(scene, OnboardingStep::Welcome); }},
        {"onboarding-waiting",
         [](GalleryScene &scene) {
             auto holder = onboardingAt(scene, OnboardingStep::Welcome);
             holder->findChild<OnboardingWindowController *>()
                 ->window()
                 ->findChild<OnboardingWelcomeView *>()
                 ->signIn();
             return holder;
         }},
        {"onboarding-api-key",
         [](GalleryScene &scene) {
             auto holder = onboardingAt(scene, OnboardingStep::ApiKey);
             QWidget *window = holder->findChild<OnboardingWindowController *>()->window();
             window->findChild<QLineEdit *>(QStringLiteral("accountNameField"))->setText(QStringLiteral("Production"));
             window->findChild<QLineEdit *>(QStringLiteral("apiKeyField"))->setText(QStringLiteral("demo-forge-key"));
             return holder;
         }},
        {"onboarding-notifications",
         [](GalleryScene &scene) { return onboardingAt(scene, OnboardingStep::Notifications); }},
        {"welcome",
         [](GalleryScene &scene) {
             scene.signOut();
             // Defaults of their own, without the demo's accounts: a first sign-in, not an upgrade.
             static UserDefaults s_empty(QDir::temp().filePath(QStringLiteral("plimsy-gallery-welcome.conf")));
             PreferencesServices services = withoutBrowser();
             services.defaults = &s_empty;
             WelcomeWindowController *controller = nullptr;
             return hold(controller, services);
         }},
        {"welcome-upgrade",
         [](GalleryScene &scene) {
             scene.signOut();
             WelcomeWindowController *controller = nullptr;
             return hold(controller, withoutBrowser());
         }},
    };
}

} // namespace plimsy::test
