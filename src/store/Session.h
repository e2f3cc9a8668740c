#pragma once
// Who is logged in. Nothing that records a sale runs before a login: the F5
// key reaches the program while the login window is still open.
#include <QString>
#include <optional>

namespace session {

struct User {
    QString name;
    bool administrator = false;
};

void logIn(const User &user);
void logOut();
// Nobody before the login has let someone in.
const std::optional<User> &current();
inline bool loggedIn() { return current().has_value(); }
inline bool administrator() { return current() && current()->administrator; }

} // namespace session
