#include "cli/command_help.h"

namespace quorvex {

namespace {

const char kToolHelp[] =
    "Usage: quorvex-cli [--config FILE] [-q] COMMAND [OPTIONS] [--] [ARGUMENTS]\n"
    "\n"
    "Finds the network cameras on this PC's local networks and changes their\n"
    "network settings, like the Quorvex window.\n"
    "\n"
    "Commands:\n"
    "  interfaces   list this PC's adapters and which of them the search uses\n"
    "  scan         search for devices and list them\n"
    "  set          change the network settings of one device or a batch\n"
    "  match        move devices outside their interface's subnet into it\n"
    "  config       show the settings in effect\n"
    "\n"
    "Options:\n"
    "  --config FILE  read FILE as config.xml; FILE's directory then also holds\n"
    "                 the Language folder\n"
    "  -q, --quiet    no progress line on standard error\n"
    "  --help         this help; COMMAND --help explains a command\n"
    "  --version      print the version\n"
    "  --             end of options: what follows is arguments (MACs)\n"
    "\n"
    "config.xml is looked up in this order: --config FILE; the per-user file\n"
    "$XDG_CONFIG_HOME/quorvex/config.xml (~/.config/quorvex/config.xml); the\n"
    "shipped file PREFIX/share/quorvex/config.xml; config.xml in the current\n"
    "directory. When the file found exists but cannot be read, scan, set and\n"
    "match search only with --interface or --any-interface.\n"
    "\n"
    "Exit codes: 0 success; 1 nothing found, device not found, change not\n"
    "confirmed or output not written; 2 bad usage or unreadable settings.\n"
    "\n"
    "Example:\n"
    "  quorvex-cli --config ~/site/config.xml scan --wait 5 --json\n";

const char kInterfacesHelp[] =
    "Usage: quorvex-cli interfaces [--json]\n"
    "\n"
    "Lists every adapter of this PC in the system's order: name, type,\n"
    "description, whether the search uses it and why, and the settings read\n"
    "for it (address, prefix, mask, gateway, name servers, DHCP). Sends nothing.\n"
    "\n"
    "  --json   print one JSON array instead of a table\n"
    "\n"
    "Example:\n"
    "  quorvex-cli interfaces --json\n";

const char kScanHelp[] =
    "Usage: quorvex-cli scan [--wait SECONDS|auto] [--interface NAME]... [--any-interface]\n"
    "                        [--protocol LIST] [--json | --csv [--bom]]\n"
    "\n"
    "Sends one search at the start, takes answers until the site has gone quiet\n"
    "(or for SECONDS), then lists the devices sorted by MAC address: each one's\n"
    "address, marked when it lies outside the subnet of the interface that heard\n"
    "it, and that interface's name. Exit 1 when no device answered, or when a\n"
    "protocol could not listen everywhere (the list may then be incomplete;\n"
    "stderr says where and why).\n"
    "\n"
    "  --wait auto       end when no new device has come for a while after the\n"
    "                    last one, and not before 2.25 s after the search, as\n"
    "                    devices may hold their answers back (at most 10 s;\n"
    "                    the default)\n"
    "  --wait SECONDS    take answers for exactly this long (fractions allowed,\n"
    "                    up to 3600)\n"
    "  --interface NAME  search on this adapter; repeat for several. Replaces the\n"
    "                    adapter choice, like config.interfaces\n"
    "  --any-interface   search on the automatic adapter choice even when the\n"
    "                    config.xml found cannot be read\n"
    "  --protocol LIST   comma list of text, binary, wsd (default: all)\n"
    "  --json            one JSON array, one object per device\n"
    "  --csv             CSV with a header row (RFC 4180); texts that a\n"
    "                    spreadsheet would run as formulas get a leading '\n"
    "  --bom             start the CSV with a UTF-8 byte order mark\n"
    "\n"
    "Example:\n"
    "  quorvex-cli scan --wait 5 --interface eth0 --csv > cameras.csv\n";

const char kSetHelp[] =
    "Usage: quorvex-cli set (MAC... | --all-outside) [--ip A | --ip-from A] [--mask A]\n"
    "                       [--gateway A] [--dns1 A] [--dns2 A] [--dhcp on|off]\n"
    "                       [--http-port N] [--user NAME] [--password-stdin] [--dry-run]\n"
    "                       [--force] [--json] [--wait SECONDS] [--interface NAME]...\n"
    "                       [--any-interface]\n"
    "\n"
    "Finds the devices MAC... (00-1A-2B-3C-4D-5E or 00:1a:2b:3c:4d:5e), keeps their\n"
    "current settings except the ones given, and sends them. A text-protocol\n"
    "device whose HTTP port changes gets the HTTP-port command 2 s after the\n"
    "first has left. Then searches again and reports per device: confirmed,\n"
    "answers with other values, or gone.\n"
    "\n"
    "A standard camera only WS-Discovery heard goes by its MAC, its WSD- key or its\n"
    "endpoint reference (urn:uuid:...). It is changed through the device service\n"
    "its XAddrs name, with --user and --password-stdin, and read back at the new\n"
    "address (\"KEY: answers at A\"); without --mask it keeps its prefix.\n"
    "\n"
    "An address is checked before anything is sent: it must be a host address of\n"
    "the subnet of the interface that heard the device, not special, not this\n"
    "PC's or the gateway's, not another camera's, and no other host may answer\n"
    "for it on the link. A refused address is not sent (--force sends one that\n"
    "the link or the table holds, with a warning). Addresses are read as decimal\n"
    "and sent in their plain form (010.077.000.005 goes out as 10.77.0.5). A\n"
    "gateway or name server not given stays the device's own (a gateway only\n"
    "while it fits the new subnet; else a text device keeps it untouched): no\n"
    "blank value and no 0.0.0.0 is made up. The new address may not be the\n"
    "gateway's.\n"
    "\n"
    "  --ip A             new IPv4 address of the one device given\n"
    "  --ip-from A        give the devices consecutive free addresses from A; mask,\n"
    "                     gateway and name servers not given come from the\n"
    "                     interface. The plan (and every address skipped, and\n"
    "                     why) is printed before anything is sent; devices left\n"
    "                     over when the subnet runs out are not moved\n"
    "  --all-outside      every device outside its interface's subnet (needs\n"
    "                     --ip-from)\n"
    "  --dry-run          print the plan only; send nothing\n"
    "  --force            send an address that is taken, with a warning\n"
    "  --json             one JSON object: dry_run, plan, skipped, not_moved,\n"
    "                     warnings, results\n"
    "  --dhcp on|off      DHCP on or off\n"
    "  --mask A           new subnet mask (e.g. 255.255.255.0)\n"
    "  --gateway A        new default gateway\n"
    "  --dns1 A           new first name server\n"
    "  --dns2 A           new second name server\n"
    "  --http-port N      new HTTP port, 1-65535\n"
    "  --user NAME        login name (default: the device's own)\n"
    "  --password-stdin   read the login password from the first line of standard\n"
    "                     input (default: the one a binary device reports; text\n"
    "                     devices report none, so they need it)\n"
    "  --wait SECONDS     how long to look for the devices, and again for the\n"
    "                     confirmation (default 3)\n"
    "  --interface NAME   search on this adapter; repeat for several\n"
    "  --any-interface    search on the automatic adapter choice even when the\n"
    "                     config.xml found cannot be read\n"
    "  --protocol LIST    comma list of text, binary, wsd (default: all)\n"
    "\n"
    "Exit 1 when a device was not found, not moved or not confirmed.\n"
    "\n"
    "Example:\n"
    "  echo secret | quorvex-cli set 00-1A-2B-3C-4D-5E --ip 192.168.1.64 \\\n"
    "      --mask 255.255.255.0 --http-port 8080 --password-stdin\n"
    "  quorvex-cli set --all-outside --ip-from 192.168.1.100 --dry-run\n";

const char kMatchHelp[] =
    "Usage: quorvex-cli match [--user NAME] [--password-stdin] [--dry-run] [--force]\n"
    "                         [--json] [--wait SECONDS] [--interface NAME]...\n"
    "                         [--any-interface] (--all | MAC...)\n"
    "\n"
    "Gives each named device (or every device with --all) that lies outside the\n"
    "subnet of the interface that heard it a free address of that subnet, from\n"
    "the host-number range of config.xml. Addresses of this PC, its gateway,\n"
    "other cameras and hosts that answer on the link are skipped, and no address\n"
    "is given twice: when the range runs out, the devices left over are not\n"
    "moved. The mask, gateway and name servers come from the interface; one it\n"
    "does not have stays the device's own where that fits the new subnet, else a\n"
    "text device keeps it untouched (nothing blank or 0.0.0.0 is sent). A device\n"
    "whose MAC answered with other addresses or from other senders is moved only\n"
    "when named. Prints the plan, sends it, searches again and reports which\n"
    "devices answer at their new address; exit 0 when all do.\n"
    "\n"
    "  --all              every device outside its subnet\n"
    "  --dry-run          print the plan only; send nothing\n"
    "  --force            accepted as for set; match never hands out an address\n"
    "                     that is taken\n"
    "  MAC                a device by its key (00-1A-2B-3C-4D-5E or 00:1a:...)\n"
    "  --user NAME        login name (default: the device's own)\n"
    "  --password-stdin   read the login password from the first line of standard\n"
    "                     input; needed for text devices, which report none\n"
    "  --json             one JSON object: dry_run, plan, skipped, not_moved,\n"
    "                     warnings, results\n"
    "  --wait SECONDS     how long to search, and again for the confirmation\n"
    "                     (default 3)\n"
    "  --interface NAME   search on this adapter; repeat for several\n"
    "  --any-interface    search on the automatic adapter choice even when the\n"
    "                     config.xml found cannot be read\n"
    "  --protocol LIST    comma list of text, binary, wsd (default: all)\n"
    "\n"
    "Example:\n"
    "  echo secret | quorvex-cli match --all --password-stdin --wait 5\n";

const char kConfigHelp[] =
    "Usage: quorvex-cli config [--json]\n"
    "\n"
    "Shows the settings in effect: search interval, host-number range, language\n"
    "and the language file that would be loaded, the explicit interface list\n"
    "and the configuration file. Sends nothing.\n"
    "\n"
    "  --json   print one JSON object instead of lines\n"
    "\n"
    "Example:\n"
    "  quorvex-cli --config ./site/config.xml config --json\n";

constexpr CommandName kCommands[] = {
    {"interfaces", CliCommand::kInterfaces, kInterfacesHelp},
    {"scan", CliCommand::kScan, kScanHelp},
    {"set", CliCommand::kSet, kSetHelp},
    {"match", CliCommand::kMatch, kMatchHelp},
    {"config", CliCommand::kConfig, kConfigHelp},
};

}  // namespace

std::span<const CommandName> CommandNames() {
    return kCommands;
}

const char* ToolHelpText() {
    return kToolHelp;
}

}  // namespace quorvex
