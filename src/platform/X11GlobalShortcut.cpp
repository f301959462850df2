#include "platform/X11GlobalShortcut.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <vector>

namespace plimsy {

namespace {

constexpr xcb_keysym_t NumLockKeysym = 0xff7f;
constexpr uint8_t BadAccess = 10;
// The modifiers a combination is made of; CapsLock, NumLock and the mouse buttons do not count.
constexpr uint16_t CombinationMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

uint16_t xcbModifiers(quint32 modifiers)
{
    uint16_t mask = 0;
    if (modifiers & ShortcutModifier::Shift) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & ShortcutModifier::Control) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & ShortcutModifier::Alt) {
        mask |= XCB_MOD_MASK_1;
    }
    if (modifiers & ShortcutModifier::Super) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

struct KeySymbolsDeleter
{
    void operator()(xcb_key_symbols_t *symbols) const { xcb_key_symbols_free(symbols); }
};

// The keycodes that produce a keysym in the current keyboard mapping.
std::vector<xcb_keycode_t> keycodesOf(xcb_key_symbols_t *symbols, xcb_keysym_t keysym)
{
    std::vector<xcb_keycode_t> keycodes;
    xcb_keycode_t *list = xcb_key_symbols_get_keycode(symbols, keysym);
    for (xcb_keycode_t *code = list; code && *code != XCB_NO_SYMBOL; ++code) {
        keycodes.push_back(*code);
    }
    std::free(list);
    return keycodes;
}

class X11GlobalShortcut final : public GlobalShortcut, public QAbstractNativeEventFilter
{
public:
    explicit X11GlobalShortcut(xcb_connection_t *connection)
        : m_connection(connection)
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
        , m_symbols(xcb_key_symbols_alloc(connection))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~X11GlobalShortcut() override
    {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        ungrabAll();
    }

    void grab(quint32 keysym, quint32 modifiers) override
    {
        ungrabAll();
        m_keysym = keysym;
        m_modifiers = xcbModifiers(modifiers);
        m_wanted = true;
        grabWanted();
    }

    void release() override
    {
        m_wanted = false;
        ungrabAll();
        setStatus(Status::NotRegistered);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        auto *event = static_cast<xcb_generic_event_t *>(message);
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAPPING_NOTIFY) {
            handleMappingChange(reinterpret_cast<xcb_mapping_notify_event_t *>(event));
            return false;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
            return false;
        }
        auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
        if (type == XCB_KEY_RELEASE && isOurKey(key)) {
            // The modifiers may be let go first: the key's own release ends the hold.
            m_isHeld = false;
            m_lastReleaseTime = key->time;
            return isOurs(key);
        }
        if (!isOurs(key)) {
            return false;
        }
        // Auto-repeat sends further presses while the key is held (or a release and a press at one instant).
        const bool isRepeat = m_isHeld || key->time == m_lastReleaseTime;
        m_isHeld = true;
        if (!isRepeat) {
            activateLater();
        }
        return true;
    }

private:
    bool isOurs(const xcb_key_press_event_t *key) const
    {
        return (key->state & CombinationMask) == m_modifiers && isOurKey(key);
    }

    bool isOurKey(const xcb_key_press_event_t *key) const
    {
        for (const xcb_keycode_t code : m_grabbed) {
            if (code == key->detail) {
                return true;
            }
        }
        return false;
    }

    // The modifier bit NumLock sits on in the current modifier map, or 0.
    uint16_t numLockMask() const
    {
        const std::vector<xcb_keycode_t> numLockCodes = keycodesOf(m_symbols.get(), NumLockKeysym);
        xcb_get_modifier_mapping_reply_t *reply =
            xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
        if (!reply) {
            return 0;
        }
        uint16_t mask = 0;
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8 && !mask; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                for (const xcb_keycode_t numLock : numLockCodes) {
                    if (code != 0 && code == numLock) {
                        mask = uint16_t(1u << modifier);
                    }
                }
            }
        }
        std::free(reply);
        return mask;
    }

    void grabWanted()
    {
        const std::vector<xcb_keycode_t> keycodes = keycodesOf(m_symbols.get(), m_keysym);
        if (keycodes.empty()) {
            setStatus(Status::Failed);
            return;
        }
        const uint16_t numLock = numLockMask();
        std::vector<uint16_t> variants{0, XCB_MOD_MASK_LOCK};
        if (numLock) {
            variants.push_back(numLock);
            variants.push_back(numLock | XCB_MOD_MASK_LOCK);
        }
        std::vector<xcb_void_cookie_t> cookies;
        for (const xcb_keycode_t code : keycodes) {
            for (const uint16_t variant : variants) {
                cookies.push_back(xcb_grab_key_checked(
                    m_connection, 1, m_root, m_modifiers | variant, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            }
        }
        m_grabbed = keycodes;
        m_grabbedVariants = variants;
        bool taken = false;
        bool failed = false;
        for (const xcb_void_cookie_t cookie : cookies) {
            if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
                (error->error_code == BadAccess ? taken : failed) = true;
                std::free(error);
            }
        }
        if (taken || failed) {
            // Keep no half of a combination another client holds the rest of.
            ungrabAll();
            setStatus(taken ? Status::Taken : Status::Failed);
            return;
        }
        setStatus(Status::Registered);
    }

    void ungrabAll()
    {
        for (const xcb_keycode_t code : m_grabbed) {
            for (const uint16_t variant : m_grabbedVariants) {
                xcb_ungrab_key(m_connection, code, m_root, m_modifiers | variant);
            }
        }
        if (!m_grabbed.empty()) {
            xcb_flush(m_connection);
        }
        m_grabbed.clear();
        m_grabbedVariants.clear();
        m_isHeld = false;
    }

    void handleMappingChange(xcb_mapping_notify_event_t *event)
    {
        xcb_refresh_keyboard_mapping(m_symbols.get(), event);
        if (m_wanted && event->request != XCB_MAPPING_POINTER) {
            ungrabAll();
            grabWanted();
        }
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> m_symbols;
    quint32 m_keysym = 0;
    uint16_t m_modifiers = 0;
    bool m_wanted = false;
    std::vector<xcb_keycode_t> m_grabbed;
    std::vector<uint16_t> m_grabbedVariants;
    bool m_isHeld = false;
    xcb_timestamp_t m_lastReleaseTime = 0;
};

} // namespace

std::unique_ptr<GlobalShortcut> makeX11GlobalShortcut()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        return nullptr;
    }
    return std::make_unique<X11GlobalShortcut>(x11->connection());
}

} // namespace plimsy
