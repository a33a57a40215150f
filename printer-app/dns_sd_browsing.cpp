// Looking for network printers without a DNS-SD daemon.
//
// PAPPL 1.3 lists DNS-SD printers (for the `devices` sub-command and the web
// interface's Add Printer page) with a browser on its Avahi client, without
// checking that the client exists. Where no daemon and no message bus run,
// there is none, and Avahi aborts the whole process. This definition takes
// the place of Avahi's and refuses such a browser, which PAPPL reports as
// "Unable to create service browser." and lists the other devices.
#include <avahi-client/lookup.h>

#include "printer-app/library_override.h"

VEXAO_OVERRIDES_LIBRARY AvahiServiceBrowser* avahi_service_browser_new(AvahiClient* client, AvahiIfIndex interface,
                                                                        AvahiProtocol protocol, const char* type,
                                                                        const char* domain, AvahiLookupFlags flags,
                                                                        AvahiServiceBrowserCallback callback,
                                                                        void* userdata) {
    VEXAO_TRACE_OVERRIDE();
    using Create = AvahiServiceBrowser* (*)(AvahiClient*, AvahiIfIndex, AvahiProtocol, const char*, const char*,
                                            AvahiLookupFlags, AvahiServiceBrowserCallback, void*);
    static const Create avahi = vexao::printer_app::libraryDefinition<Create>("avahi_service_browser_new");
    if (client == nullptr || avahi == nullptr) return nullptr;
    return avahi(client, interface, protocol, type, domain, flags, callback, userdata);
}
