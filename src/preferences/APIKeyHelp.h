#pragma once

namespace plimsy {

class UrlOpener;

// Opens the help page about Forge API keys in the browser; does nothing when its address is not a
// valid URL. The Forge Accounts tab and the onboarding's key step both offer it.
void openAPIKeyHelp(UrlOpener &opener);

} // namespace plimsy
