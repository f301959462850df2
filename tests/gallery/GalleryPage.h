#pragma once

#include <QList>
#include <QWidget>

#include <functional>
#include <memory>

namespace plimsy::test {

class GalleryScene;

// One picture of the gallery: `stage` builds a window in the state to show (its sheets and alerts
// open) and hands it over; the runner photographs it with every window it has opened, then closes them.
struct GalleryPage
{
    const char *name;
    std::function<std::unique_ptr<QWidget>(GalleryScene &)> stage;
};

// The pages of each subsystem, in gallery order; GalleryMain.cpp lists the groups.
QList<GalleryPage> shellPages();
QList<GalleryPage> preferencesPages();
QList<GalleryPage> preferencesSettingsPages();
QList<GalleryPage> onboardingPages();

} // namespace plimsy::test
