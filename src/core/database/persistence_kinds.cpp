#include "core/database/persistence_kinds.h"

#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

constexpr size_t kMaxTaskPathLength = 260;
constexpr size_t kMaxServiceNameLength = 256;

// Services of Windows' own installations (XP to 11), by key name.
constexpr std::string_view kWindowsServices[] = {"AeLookupSvc",
                                                 "ALG",
                                                 "AppIDSvc",
                                                 "Appinfo",
                                                 "AppMgmt",
                                                 "AppReadiness",
                                                 "AppXSvc",
                                                 "AudioEndpointBuilder",
                                                 "Audiosrv",
                                                 "BDESVC",
                                                 "BFE",
                                                 "BITS",
                                                 "BrokerInfrastructure",
                                                 "Browser",
                                                 "BthServ",
                                                 "bthserv",
                                                 "CDPSvc",
                                                 "CertPropSvc",
                                                 "ClipSVC",
                                                 "COMSysApp",
                                                 "CoreMessagingRegistrar",
                                                 "CryptSvc",
                                                 "CscService",
                                                 "DcomLaunch",
                                                 "defragsvc",
                                                 "DeviceAssociationService",
                                                 "DeviceInstall",
                                                 "Dhcp",
                                                 "DiagTrack",
                                                 "DispBrokerDesktopSvc",
                                                 "DmEnrollmentSvc",
                                                 "dmwappushservice",
                                                 "Dnscache",
                                                 "DoSvc",
                                                 "dot3svc",
                                                 "DPS",
                                                 "DsmSvc",
                                                 "DsSvc",
                                                 "EapHost",
                                                 "EFS",
                                                 "ERSvc",
                                                 "EventLog",
                                                 "EventSystem",
                                                 "fdPHost",
                                                 "FDResPub",
                                                 "FontCache",
                                                 "FrameServer",
                                                 "gpsvc",
                                                 "helpsvc",
                                                 "hidserv",
                                                 "HomeGroupListener",
                                                 "HomeGroupProvider",
                                                 "IKEEXT",
                                                 "InstallService",
                                                 "iphlpsvc",
                                                 "KeyIso",
                                                 "LanmanServer",
                                                 "LanmanWorkstation",
                                                 "lfsvc",
                                                 "LicenseManager",
                                                 "lltdsvc",
                                                 "lmhosts",
                                                 "LSM",
                                                 "MapsBroker",
                                                 "Messenger",
                                                 "mpssvc",
                                                 "MSDTC",
                                                 "MSiSCSI",
                                                 "msiserver",
                                                 "NcaSvc",
                                                 "NcbService",
                                                 "Netlogon",
                                                 "Netman",
                                                 "netprofm",
                                                 "NetSetupSvc",
                                                 "NetTcpPortSharing",
                                                 "NlaSvc",
                                                 "nsi",
                                                 "p2psvc",
                                                 "PcaSvc",
                                                 "PerfHost",
                                                 "pla",
                                                 "PlugPlay",
                                                 "PolicyAgent",
                                                 "Power",
                                                 "PrintNotify",
                                                 "ProfSvc",
                                                 "RasAuto",
                                                 "RasMan",
                                                 "RemoteAccess",
                                                 "RemoteRegistry",
                                                 "RpcEptMapper",
                                                 "RpcLocator",
                                                 "RpcSs",
                                                 "SamSs",
                                                 "SCardSvr",
                                                 "Schedule",
                                                 "SCPolicySvc",
                                                 "SDRSVC",
                                                 "seclogon",
                                                 "SecurityHealthService",
                                                 "SENS",
                                                 "SessionEnv",
                                                 "SgrmBroker",
                                                 "SharedAccess",
                                                 "ShellHWDetection",
                                                 "smphost",
                                                 "SNMPTRAP",
                                                 "Spooler",
                                                 "sppsvc",
                                                 "srservice",
                                                 "SSDPSRV",
                                                 "SstpSvc",
                                                 "StateRepository",
                                                 "stisvc",
                                                 "StorSvc",
                                                 "svsvc",
                                                 "swprv",
                                                 "SysMain",
                                                 "SystemEventsBroker",
                                                 "TabletInputService",
                                                 "TapiSrv",
                                                 "TermService",
                                                 "Themes",
                                                 "TimeBrokerSvc",
                                                 "TokenBroker",
                                                 "TrkWks",
                                                 "TrustedInstaller",
                                                 "tzautoupdate",
                                                 "UmRdpService",
                                                 "upnphost",
                                                 "UserManager",
                                                 "UsoSvc",
                                                 "VaultSvc",
                                                 "vds",
                                                 "VSS",
                                                 "W32Time",
                                                 "WaaSMedicSvc",
                                                 "WbioSrvc",
                                                 "Wcmsvc",
                                                 "WdiServiceHost",
                                                 "WdiSystemHost",
                                                 "WdNisSvc",
                                                 "Wecsvc",
                                                 "WEPHOSTSVC",
                                                 "wercplsupport",
                                                 "WerSvc",
                                                 "WinDefend",
                                                 "WinHttpAutoProxySvc",
                                                 "Winmgmt",
                                                 "WinRM",
                                                 "wisvc",
                                                 "WlanSvc",
                                                 "wlidsvc",
                                                 "WMPNetworkSvc",
                                                 "WpnService",
                                                 "WSearch",
                                                 "wscsvc",
                                                 "wuauserv",
                                                 "wudfsvc",
                                                 "WwanSvc",
                                                 "WZCSVC",
                                                 "xmlprov"};

}  // namespace

PersistenceKind PersistenceKindOfLine(std::string_view line) {
    const std::string word = ToLowerAscii(line.substr(0, line.find('|')));
    if (word == "task")
        return PersistenceKind::Task;
    if (word == "service")
        return PersistenceKind::Service;
    if (word == "hosts")
        return PersistenceKind::Hosts;
    if (word == "shortcut")
        return PersistenceKind::Shortcut;
    return PersistenceKind::None;
}

bool IsTaskPath(std::string_view path) {
    if (path.size() < 2 || path.size() > kMaxTaskPathLength || path[0] != '\\')
        return false;
    size_t pos = 1;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view name = path.substr(pos, end - pos);
        if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
            return false;
        for (unsigned char c : name) {
            if (c < 0x20 || c == 0x7F ||
                std::string_view("/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
                return false;
        }
        pos = end + 1;
    }
    return true;
}

std::string ShortcutTextRefusal(std::string_view text) {
    if (TrimSpaces(text).empty())
        return "a blank text matches every shortcut";
    size_t characters = 0;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return "the text holds a control character";
        characters += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    if (characters > kMaxShortcutTextLength)
        return "the text is longer than " + std::to_string(kMaxShortcutTextLength) + " characters";
    return {};
}

std::string LooseShortcutText(std::string_view text) {
    const std::string trimmed = ToLowerAscii(TrimSpaces(text));
    if (trimmed.size() < 4)
        return "a text shorter than 4 characters matches too many shortcuts";
    for (const char* common : {".exe", "http", "https", "http:", "https:", "http://", "https://", "www.",
                               "program files", "c:\\", "c:\\windows", "c:\\program files", ".lnk", ".url"}) {
        if (trimmed == common)
            return "\"" + std::string(text) + "\" is part of nearly every shortcut";
    }
    return {};
}

bool IsWindowsTask(std::string_view path) {
    return StartsWithOrdinalIgnoreCase(path, "\\Microsoft\\");
}

bool IsServiceName(std::string_view name) {
    if (name.empty() || name.size() > kMaxServiceNameLength)
        return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '\\' || c == '/' || c == ',')
            return false;
    }
    return true;
}

bool IsWindowsServiceName(std::string_view name) {
    for (std::string_view known : kWindowsServices) {
        if (EqualsOrdinalIgnoreCase(name, known))
            return true;
    }
    return false;
}

}  // namespace pellora
