#include "printer-app/authority.h"

#include <pappl/pappl.h>

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "printer-app/library_override.h"

namespace vexao::printer_app {
namespace {

constexpr std::size_t kAccountBuffer = 16384;

bool administrationGroupId(gid_t& id) {
    group entry, *found = nullptr;
    std::vector<char> buffer(kAccountBuffer);
    if (getgrnam_r(kAdministrationGroup, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return false;
    id = found->gr_gid;
    return true;
}

// The groups of the account `user`, whose primary group is `primary`; the
// list includes the primary group.
std::vector<gid_t> groupsOf(const char* user, gid_t primary) {
    std::vector<gid_t> groups(32);
    for (int tries = 0; tries < 4; ++tries) {
        int count = static_cast<int>(groups.size());
        bool fits = getgrouplist(user, primary, groups.data(), &count) >= 0;
        groups.resize(static_cast<std::size_t>(count));
        if (fits) return groups;
    }
    return {primary};
}

bool memberByAccount(const passwd* account, gid_t administrators) {
    if (account == nullptr) return false;
    std::vector<gid_t> groups = groupsOf(account->pw_name, account->pw_gid);
    return std::find(groups.begin(), groups.end(), administrators) != groups.end();
}

bool isLocalSocket(http_t* http) {
    http_addr_t* address = httpGetAddress(http);
    return address != nullptr && address->addr.sa_family == AF_LOCAL;
}

bool peerMayAdminister(int socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
           mayAdminister(peer.uid, peer.gid);
}

}  // namespace

bool mayAdminister(uid_t uid, gid_t gid) {
    if (uid == 0 || uid == geteuid()) return true;
    gid_t administrators;
    if (!administrationGroupId(administrators)) return false;
    if (gid == administrators) return true;
    passwd entry, *account = nullptr;
    std::vector<char> buffer(kAccountBuffer);
    getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &account);
    return memberByAccount(account, administrators);
}

bool inAdministrationGroup(const char* userName) {
    gid_t administrators;
    if (userName == nullptr || *userName == '\0' || !administrationGroupId(administrators)) return false;
    passwd entry, *account = nullptr;
    std::vector<char> buffer(kAccountBuffer);
    getpwnam_r(userName, &entry, buffer.data(), buffer.size(), &account);
    return memberByAccount(account, administrators);
}

}  // namespace vexao::printer_app

// PAPPL's administration check, for IPP operations and the web interface's
// settings pages alike.
VEXAO_OVERRIDES_LIBRARY http_status_t papplClientIsAuthorized(pappl_client_t* client) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    using Check = http_status_t (*)(pappl_client_t*);
    static const Check pappl = libraryDefinition<Check>("papplClientIsAuthorized");
    if (client == nullptr) return HTTP_STATUS_BAD_REQUEST;
    http_t* http = papplClientGetHTTP(client);
    if (isLocalSocket(http)) return peerMayAdminister(httpGetFd(http)) ? HTTP_STATUS_CONTINUE : HTTP_STATUS_FORBIDDEN;
    if (papplSystemGetAuthService(papplClientGetSystem(client)) == nullptr || pappl == nullptr)
        return HTTP_STATUS_FORBIDDEN;
    // PAPPL checks the password with PAM and names the client; its group
    // check follows the system's admin group, which the web interface can
    // change, so membership is checked here as well.
    http_status_t status = pappl(client);
    if (status != HTTP_STATUS_CONTINUE) return status;
    return inAdministrationGroup(papplClientGetUsername(client)) ? HTTP_STATUS_CONTINUE : HTTP_STATUS_FORBIDDEN;
}
