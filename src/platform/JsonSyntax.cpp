#include "platform/JsonSyntax.h"

#include "crashreporter/core/KXJSONRawValidator.h"

namespace plimsy {

std::optional<qsizetype> jsonSyntaxError(QByteArrayView text)
{
    kestrix::KXJSONRawValidator validator(kestrix::KXJSONRawValidator::LoneSurrogates::Refused);
    validator.feed(text.data(), size_t(text.size()));
    if (validator.finish()) {
        return std::nullopt;
    }
    return qsizetype(validator.offset());
}

} // namespace plimsy
