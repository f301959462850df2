#pragma once

namespace plimsy {

class KeychainProtocol;

// The key of the legacy push relay, item "PlimsyTollixAPIKey" of its own service.
namespace LegacyRelayKey {

inline constexpr char ItemAccount[] = "PlimsyTollixAPIKey";
// The legacy relay's device identifier in the user defaults.
inline constexpr char DeviceIDKey[] = "deviceID";

// Whether a key is stored. One found only in the older store is copied to the current one, and the
// old item goes only once the copy reads back the same. A store that cannot be read counts as no key.
bool findMovingOlderItem(KeychainProtocol &keychain);

// Removes the item from both stores; false when either store could not remove it.
bool remove(KeychainProtocol &keychain);

} // namespace LegacyRelayKey

} // namespace plimsy
