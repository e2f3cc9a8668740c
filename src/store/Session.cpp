#include "store/Session.h"

namespace session {

namespace {
std::optional<User> &user()
{
    static std::optional<User> u;
    return u;
}
} // namespace

void logIn(const User &u)
{
    user() = u;
}

void logOut()
{
    user().reset();
}

const std::optional<User> &current()
{
    return user();
}

} // namespace session
