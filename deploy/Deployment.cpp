#include "deploy/Deployment.h"

#include "util/pres.h"

namespace deploy {

std::wstring ScrambledHost() {
    return FromCp1250(std::string(kHost.View()));
}
std::wstring ScrambledUser() {
    return FromCp1250(std::string(kUser.View()));
}
std::wstring ScrambledPassword() {
    return FromCp1250(std::string(kPassword.View()));
}
std::wstring KeyA() {
    return FromCp1250(kKeyA);
}
std::wstring KeyB() {
    return FromCp1250(kKeyB);
}

} // namespace deploy
