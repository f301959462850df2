#include "platform/SystemSound.h"

#include <canberra.h>

namespace plimsy::SystemSound {

namespace {

// The freedesktop sound-theme events closest to the system's own sounds.
const char *eventFor(const QString &name)
{
    if (name == u"Glass") {
        return "complete";
    }
    if (name == u"Sosumi") {
        return "dialog-warning";
    }
    return nullptr;
}

ca_context *context()
{
    static ca_context *s_context = [] {
        ca_context *created = nullptr;
        if (ca_context_create(&created) != CA_SUCCESS) {
            return static_cast<ca_context *>(nullptr);
        }
        ca_context_change_props(created, CA_PROP_APPLICATION_NAME, "Plimsy", nullptr);
        return created;
    }();
    return s_context;
}

} // namespace

void play(const QString &name)
{
    const char *event = eventFor(name);
    ca_context *sounds = event ? context() : nullptr;
    if (!sounds) {
        return;
    }
    ca_context_play(sounds, 0, CA_PROP_EVENT_ID, event, nullptr);
}

} // namespace plimsy::SystemSound
