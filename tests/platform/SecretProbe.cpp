#include "platform/SecretStore.h"

#include <cstdio>

// Child program for the "no Secret Service" tests: prints what each call reports, one per line.
int main()
{
    using plimsy::SecretStore;
    const auto name = [](SecretStore::Status status) {
        switch (status) {
        case SecretStore::Status::Ok:
            return "ok";
        case SecretStore::Status::NotFound:
            return "not-found";
        case SecretStore::Status::Unavailable:
            return "unavailable";
        }
        return "?";
    };
    const QString service = QStringLiteral("com.tindrel.plimsy.test.probe");
    std::printf("get %s\n", name(SecretStore::get(service, QStringLiteral("a")).status));
    std::printf("set %s\n", name(SecretStore::set(service, QStringLiteral("a"), QStringLiteral("v"))));
    std::printf("remove %s\n", name(SecretStore::remove(service, QStringLiteral("a"))));
    std::printf("accounts %s\n", name(SecretStore::accounts(service).status));
    return 0;
}
