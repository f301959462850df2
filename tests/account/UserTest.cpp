#include "account/User.h"

#include "account/AuthResponse.h"
#include "core/DecodingError.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace plimsy;

namespace {

struct UserRow
{
    const char *name;
    const char *json;
    std::optional<User> expected; // none: decoding fails
    const char *failingPath = "";
};

void PrintTo(const UserRow &row, std::ostream *out)
{
    *out << row.name;
}

class UserDecodingTest : public ::testing::TestWithParam<UserRow>
{
};

TEST_P(UserDecodingTest, Decodes)
{
    const UserRow row = GetParam();
    const QJsonObject json = QJsonDocument::fromJson(row.json).object();
    if (row.expected) {
        EXPECT_EQ(User::fromJson(json), *row.expected);
        return;
    }
    try {
        User::fromJson(json);
        ADD_FAILURE() << "decoded";
    } catch (const DecodingError &error) {
        EXPECT_EQ(error.path(), row.failingPath);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Users,
    UserDecodingTest,
    ::testing::Values(
        UserRow{"StringId", R"({"id":"7","email":"a@b.c","name":"Ann"})", User{"7", "a@b.c", "Ann"}},
        UserRow{"NumericId", R"({"id":42,"email":"a@b.c","name":"Ann"})", User{"42", "a@b.c", "Ann"}},
        UserRow{"LargeId", R"({"id":9007199254740993,"email":"a@b.c"})", User{"9007199254740993", "a@b.c", ""}},
        UserRow{"NoName", R"({"id":"7","email":"a@b.c"})", User{"7", "a@b.c", ""}},
        UserRow{"NullName", R"({"id":"7","email":"a@b.c","name":null})", User{"7", "a@b.c", ""}},
        UserRow{"NoEmail", R"({"id":"7","name":"Ann"})", std::nullopt, "user.email"},
        UserRow{"NoId", R"({"email":"a@b.c"})", std::nullopt, "user.id"},
        UserRow{"FractionalId", R"({"id":4.5,"email":"a@b.c"})", std::nullopt, "user.id"},
        UserRow{"NumericName", R"({"id":"7","email":"a@b.c","name":3})", std::nullopt, "user.name"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(UserTest, EncodesEveryMemberAsAStringAndReadsItBack)
{
    const User user = User::fromJson(QJsonDocument::fromJson(R"({"id":42,"email":"a@b.c"})").object());
    const QJsonObject json = user.toJson();
    EXPECT_EQ(json, QJsonObject({{"id", "42"}, {"email", "a@b.c"}, {"name", ""}}));
    EXPECT_EQ(User::fromJson(json), user);

    const AuthResponse response{user, "tok"};
    EXPECT_EQ(response.toJson().value("access_token"), "tok");
    EXPECT_EQ(AuthResponse::fromJson(response.toJson()), response);
    EXPECT_THROW(AuthResponse::fromJson(QJsonObject{{"user", user.toJson()}}), DecodingError);
}

} // namespace
