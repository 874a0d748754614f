#include "devices/remap.h"

#include <cwchar>

#include "devices/com_db.h"
#include "devices/port_table.h"
#include "devices/remap_plan.h"
#include "devices/remap_walk.h"
#include "devices/remove.h"
#include "log.h"
#include "log_text.h"
#include "names.h"
#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

namespace {

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "instance IDs are kept as UTF-16 code units");

// A port's line holds its instance ID and up to four of its names: the names are
// shortened further than other texts, so that the outcome and all of them fit.
constexpr size_t kNameChars = 40;
static_assert(LogQuotedWidth(kLogTextChars) + 4 * LogQuotedWidth(kNameChars) + 150 < kLogLineChars,
              "a port's line fits");

const wchar_t* QuotedName(const wchar_t* text, LogQuote& out) {
    return LogQuoted(text, kNameChars, out.chars, LogQuotedCapacity(kLogTextChars));
}

// Every device operation opens a node's device key this way.
HKEY OpenDeviceKey(HDEVINFO set, SP_DEVINFO_DATA* member) {
    return SetupDiOpenDevRegKey(set, member, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_ALL_ACCESS);
}

DWORD TextBytes(const wchar_t* text) {
    return static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
}

bool ReadLocationNumber(HDEVINFO set, SP_DEVINFO_DATA* member, size_t prefixLength, int32_t* number) {
    wchar_t text[kTextChars] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, member, SPDRP_LOCATION_INFORMATION, nullptr,
                                           reinterpret_cast<BYTE*>(text), sizeof(text), nullptr)) {
        return false;
    }
    *number = LocationNumber(text, kTextChars, prefixLength);
    return true;
}

void WritePortNames(HDEVINFO set, SP_DEVINFO_DATA* member, const wchar_t* namePrefix, int32_t number) {
    wchar_t comName[kTextChars] = {};
    if (FormatComName(comName, kTextChars, number)) {
        UniqueRegKey key(OpenDeviceKey(set, member));
        if (key.valid()) {
            RegSetValueExW(key.get(), kPortNameValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(comName),
                           TextBytes(comName));
        }
    }
    wchar_t friendlyName[kTextChars] = {};
    if (FormatFriendlyName(friendlyName, kTextChars, namePrefix, number)) {
        // The friendly name is written only where the device key opens with full access.
        bool keyOpens = false;
        {
            UniqueRegKey key(OpenDeviceKey(set, member));
            keyOpens = key.valid();
        }
        if (keyOpens) {
            SetupDiSetDeviceRegistryPropertyW(set, member, SPDRP_FRIENDLYNAME,
                                              reinterpret_cast<const BYTE*>(friendlyName), TextBytes(friendlyName));
        }
    }
}

// A node's "PortName" into a zero-filled buffer of kTextChars, its device key
// opened with `access`; false also for a value longer than the buffer.
bool ReadPortNameText(HDEVINFO set, SP_DEVINFO_DATA* member, REGSAM access, wchar_t* text) {
    DWORD size = kTextChars * sizeof(wchar_t);
    UniqueRegKey key(SetupDiOpenDevRegKey(set, member, DICS_FLAG_GLOBAL, 0, DIREG_DEV, access));
    return key.valid() &&
           RegQueryValueExW(key.get(), kPortNameValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
               ERROR_SUCCESS;
}

// A name of the node for the run log, quoted and shortened: its "PortName" or its
// friendly name as they stand, (none) where there is none.
const wchar_t* PortNameText(HDEVINFO set, SP_DEVINFO_DATA* member, LogQuote& out) {
    wchar_t text[kTextChars] = {};
    if (!ReadPortNameText(set, member, KEY_READ, text)) return L"(none)";
    text[kTextChars - 1] = L'\0';
    return QuotedName(text, out);
}

const wchar_t* FriendlyNameText(HDEVINFO set, SP_DEVINFO_DATA* member, LogQuote& out) {
    wchar_t text[kTextChars] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, member, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(text),
                                           (kTextChars - 1) * sizeof(wchar_t), nullptr)) {
        return L"(none)";
    }
    return QuotedName(text, out);
}

// Calls `visit` with the name and data of every value of SERIALCOMM that is a text.
template <typename Visit>
void ForEachSerialCommName(Visit visit) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[kTextChars] = {};
        wchar_t data[kTextChars] = {};
        DWORD nameChars = kTextChars - 1;
        DWORD type = 0;
        DWORD size = (kTextChars - 1) * sizeof(wchar_t);
        const LONG status = RegEnumValueW(key.get(), i, name, &nameChars, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &size);
        if (status == ERROR_NO_MORE_ITEMS) return;
        if (status == ERROR_SUCCESS && type == REG_SZ) visit(name, data);
    }
}

// Calls `visit` with every device node (present or not) that has a "PortName",
// read-only so that no key is passed over for want of write access; false when
// the nodes cannot be listed.
template <typename Visit>
bool ForEachNodePortName(Visit visit) {
    UniqueDevInfo all(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!all.valid()) return false;
    SP_DEVINFO_DATA node = {};
    node.cbSize = sizeof(node);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(all.get(), i, &node); ++i) {
        wchar_t name[kTextChars] = {};
        if (ReadPortNameText(all.get(), &node, KEY_READ, name)) visit(all.get(), &node, name);
    }
    return true;
}

// Counts of a number up to 4096, saturated.
struct NumberCounts {
    uint8_t count[kComNumberLimit + 1];
    void Add(int32_t number) {
        if (number >= 1 && number <= kComNumberLimit && count[number] < 255) ++count[number];
    }
};

// The port node set as the re-map walks it, the member last selected, and what
// the re-map learned of the machine on the way.
struct PortSet {
    HDEVINFO set;
    SP_DEVINFO_DATA member;
    const wchar_t* namePrefix;
    size_t prefixLength;
    bool rebootNeeded;
    bool planSaved;
    // Who holds a COM name, learned in one walk over every node when first asked.
    bool holdersCounted;
    bool nodesListed;               // the walk could list the nodes
    ComNumberSet readAnywhere;      // numbers any node's "PortName" or a live name reads as
    NumberCounts exactElsewhere;    // "COMn" in a node's "PortName", beyond the set's own
    NumberCounts serialCommOthers;  // live names beyond those the set's ports read as
    RemapPlan record;  // the plan as last recorded, with the instance IDs
};

bool Select(PortSet* ports, uint32_t index) {
    return SetupDiEnumDeviceInfo(ports->set, index, &ports->member) != FALSE;
}

// What the re-map asks, answered by this machine's SetupAPI, registry and COM-port database.
class MachinePorts final : public RemapSystem {
public:
    explicit MachinePorts(PortSet* set) : ports(set) {}
    bool Select(uint32_t index) override { return mioutil::Select(ports, index); }
    bool ReadComNumber(int32_t* number) override {
        return mioutil::ReadComNumber(ports->set, &ports->member, number);
    }
    bool ReadLocationNumber(int32_t* number) override {
        return mioutil::ReadLocationNumber(ports->set, &ports->member, ports->prefixLength, number);
    }
    NameMatch MatchNames(int32_t number) override;
    bool HeldElsewhere(int32_t number) override;
    bool CollectHeldNumbers(ComNumberSet* held) override;
    bool ClaimSpare(int32_t number) override;
    void ReleaseSpare(int32_t number) override;
    bool SavePlan(const RemapPlan& plan) override;
    void DropPlan() override;
    RestartOutcome WriteAndRestart(const RemapPlan& plan, uint32_t i, int32_t number) override;
    void WriteForReboot(const RemapPlan& plan, uint32_t i, uint32_t holder) override;
    void Keep(const RemapPlan& plan, uint32_t i) override;
    void Report(uint32_t member, PortNote note, int32_t number) override;

private:
    PortSet* ports;
};

NameMatch MachinePorts::MatchNames(int32_t number) {
    wchar_t name[kTextChars] = {};
    wchar_t want[kTextChars] = {};
    if (!ReadPortNameText(ports->set, &ports->member, KEY_READ, name) || !FormatComName(want, kTextChars, number) ||
        std::wcscmp(name, want) != 0) {
        return NameMatch::kRename;
    }
    wchar_t friendly[kTextChars] = {};
    const bool sameFriendly = FormatFriendlyName(want, kTextChars, ports->namePrefix, number) &&
                              SetupDiGetDeviceRegistryPropertyW(ports->set, &ports->member, SPDRP_FRIENDLYNAME,
                                                                nullptr, reinterpret_cast<BYTE*>(friendly),
                                                                (kTextChars - 1) * sizeof(wchar_t), nullptr) &&
                              std::wcscmp(friendly, want) == 0;
    return sameFriendly ? NameMatch::kInPlace : NameMatch::kPortNameOnly;
}

// The COM names held outside the set: every node (present or not) with an exact
// COM name beyond as many as the set's own ports have, and SERIALCOMM's live
// names beyond as many as the set's ports read as. On the way, every number any
// node or live name reads as, for the spare name.
void CountHolders(PortSet* ports) {
    ports->holdersCounted = true;
    NumberCounts exactInSet = {};
    NumberCounts readInSet = {};
    for (uint32_t m = 0; Select(ports, m); ++m) {
        wchar_t name[kTextChars] = {};
        if (!ReadPortNameText(ports->set, &ports->member, KEY_READ, name)) continue;
        exactInSet.Add(ExactComNumber(name, kTextChars));
        readInSet.Add(ComNumberFromPortName(name, kTextChars));
    }
    ports->nodesListed = ForEachNodePortName([&](HDEVINFO, SP_DEVINFO_DATA*, const wchar_t* name) {
        ports->exactElsewhere.Add(ExactComNumber(name, kTextChars));
        MarkComNumber(&ports->readAnywhere, ComNumberFromPortName(name, kTextChars));
    });
    ForEachSerialCommName([&](const wchar_t*, const wchar_t* data) {
        ports->serialCommOthers.Add(ExactComNumber(data, kTextChars));
        MarkComNumber(&ports->readAnywhere, ComNumberFromPortName(data, kTextChars));
    });
    for (int32_t n = 1; n <= kComNumberLimit; ++n) {
        uint8_t& nodes = ports->exactElsewhere.count[n];
        nodes = nodes > exactInSet.count[n] ? static_cast<uint8_t>(nodes - exactInSet.count[n]) : 0;
        uint8_t& live = ports->serialCommOthers.count[n];
        live = live > readInSet.count[n] ? static_cast<uint8_t>(live - readInSet.count[n]) : 0;
    }
}

bool MachinePorts::HeldElsewhere(int32_t number) {
    if (!ports->holdersCounted) CountHolders(ports);
    return number >= 1 && number <= kComNumberLimit &&
           (ports->exactElsewhere.count[number] != 0 || ports->serialCommOthers.count[number] != 0);
}

// The member of the port node set with the instance ID `id`; false when none has it.
bool FindMember(PortSet* ports, const wchar_t* id, uint32_t* member) {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD m = 0; SetupDiEnumDeviceInfo(ports->set, m, &data); ++m) {
        wchar_t other[kPlanIdUnits] = {};
        if (SetupDiGetDeviceInstanceIdW(ports->set, &data, other, kPlanIdUnits, nullptr) &&
            lstrcmpiW(other, id) == 0) {
            *member = m;
            return true;
        }
    }
    return false;
}

// Who holds "COM<number>" outside the set, for the run log.
const wchar_t* HolderElsewhere(PortSet* ports, int32_t number, wchar_t* out, size_t capacity) {
    wchar_t found[kPathChars] = L"a device SERIALCOMM lists";
    LogQuote quoted;
    bool named = false;
    ForEachNodePortName([&](HDEVINFO all, SP_DEVINFO_DATA* node, const wchar_t* name) {
        wchar_t id[kPlanIdUnits] = {};
        uint32_t member = 0;
        if (!named && ExactComNumber(name, kTextChars) == number &&
            SetupDiGetDeviceInstanceIdW(all, node, id, kPlanIdUnits, nullptr) && !FindMember(ports, id, &member)) {
            std::swprintf(found, kPathChars, L"device node %ls", LogQuoted(id, quoted));
            named = true;
        }
    });
    ForEachSerialCommName([&](const wchar_t* device, const wchar_t* data) {
        if (!named && ExactComNumber(data, kTextChars) == number) {
            std::swprintf(found, kPathChars, L"%ls in SERIALCOMM", LogQuoted(device, quoted));
            named = true;
        }
    });
    std::swprintf(out, capacity, L"%ls", found);
    return out;
}

// The numbers that any device node, present or not, holds in its "PortName", those
// the serial ports' live names use, and those the COM-port database reserves. A
// number past those the database reports on counts as held: nothing is known of it.
bool MachinePorts::CollectHeldNumbers(ComNumberSet* held) {
    if (!ports->holdersCounted) CountHolders(ports);
    if (!ports->nodesListed) return false;
    for (size_t i = 0; i < sizeof(held->bits); ++i) held->bits[i] |= ports->readAnywhere.bits[i];
    ComDbApi api;
    OpenComDb db(api);
    if (!db.valid() || api.getCurrentPortUsage == nullptr) return false;
    BYTE inUse[kComNumberLimit] = {};
    DWORD reported = 0;
    if (api.getCurrentPortUsage(db.get(), inUse, sizeof(inUse), CDB_REPORT_BYTES, &reported) != ERROR_SUCCESS) {
        return false;
    }
    for (DWORD i = 0; i < static_cast<DWORD>(kComNumberLimit); ++i) {
        if (i >= reported || inUse[i] != 0) MarkComNumber(held, static_cast<int32_t>(i + 1));
    }
    return true;
}

// Claims or releases the spare in the COM-port database.
bool ChangeSpareClaim(int32_t number, bool claim) {
    ComDbApi api;
    OpenComDb db(api);
    LONG status = ERROR_PROC_NOT_FOUND;
    if (!db.valid()) {
        status = ERROR_NOT_CONNECTED;
    } else if (!claim) {
        status = api.releasePort(db.get(), static_cast<DWORD>(number));
    } else if (api.claimPort != nullptr) {
        BOOL forced = FALSE;
        status = api.claimPort(db.get(), static_cast<DWORD>(number), FALSE, &forced);
    }
    wchar_t meaning[kTextChars] = {};
    RunLog(L"spare name COM%d %ls in the COM-port database (status %ld: %ls)", static_cast<int>(number),
           status != ERROR_SUCCESS ? (claim ? L"could not be claimed" : L"could not be released")
                                   : (claim ? L"claimed" : L"released"),
           static_cast<long>(status), ErrorMeaning(static_cast<uint32_t>(status), meaning, kTextChars));
    return status == ERROR_SUCCESS;
}

bool MachinePorts::ClaimSpare(int32_t number) { return ChangeSpareClaim(number, true); }
void MachinePorts::ReleaseSpare(int32_t number) { ChangeSpareClaim(number, false); }

// The plan's record: one binary value, written whole each time, so that a run cut
// short leaves either the record before a change or the one after it.
bool MachinePorts::SavePlan(const RemapPlan& plan) {
    RemapPlan& record = ports->record;
    record.spare = plan.spare;
    record.count = plan.count;
    for (uint32_t i = 0; i < plan.count; ++i) {
        PlanPort& port = record.port[i];
        if (port.idLength == 0 || port.member != plan.port[i].member) {
            wchar_t id[kPlanIdUnits] = {};
            SP_DEVINFO_DATA data = {};
            data.cbSize = sizeof(data);
            if (!SetupDiEnumDeviceInfo(ports->set, plan.port[i].member, &data) ||
                !SetupDiGetDeviceInstanceIdW(ports->set, &data, id, kPlanIdUnits, nullptr)) {
                id[0] = L'\0';
            }
            port.idLength = static_cast<uint32_t>(TextLength(id, kPlanIdUnits));
            for (uint32_t u = 0; u < port.idLength; ++u) port.id[u] = static_cast<uint16_t>(id[u]);
        }
        port.member = plan.port[i].member;
        port.from = plan.port[i].from;
        port.to = plan.port[i].to;
        port.state = plan.port[i].state;
    }
    static uint8_t bytes[kPlanRecordBytes];  // one run, one thread: too large for the stack
    const size_t size = WritePlanRecord(record, bytes, sizeof(bytes));
    UniqueRegKey key;
    LONG status = ERROR_INVALID_DATA;
    if (size != 0) {
        status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                 nullptr, key.put(), nullptr);
    }
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), kPlanValue, 0, REG_BINARY, bytes, static_cast<DWORD>(size));
    }
    if (status != ERROR_SUCCESS && !ports->planSaved) {
        RunLog(L"re-map plan: could not be recorded (error %ld); a run cut short now would leave the ports for "
               L"the admin to mend",
               static_cast<long>(status));
    }
    ports->planSaved = ports->planSaved || status == ERROR_SUCCESS;
    return status == ERROR_SUCCESS;
}

void MachinePorts::DropPlan() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.put()) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key.get(), kPlanValue);
    }
    key.reset();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPlanKeyPath);  // only while nothing else is in it
}

// Selects member `member` into `data`; its instance ID, quoted for the run log.
const wchar_t* Node(PortSet* ports, uint32_t member, SP_DEVINFO_DATA* data, LogQuote& out) {
    data->cbSize = sizeof(*data);
    if (!SetupDiEnumDeviceInfo(ports->set, member, data)) return L"(unknown node)";
    wchar_t id[kPathChars] = {};
    return LogQuoted(NodeName(ports->set, data, id, kPathChars), out);
}

RestartOutcome MachinePorts::WriteAndRestart(const RemapPlan& plan, uint32_t i, int32_t number) {
    SP_DEVINFO_DATA data = {};
    LogQuote node, before, friendlyBefore, after, friendlyAfter;
    Node(ports, plan.port[i].member, &data, node);
    if (number == plan.spare) {
        RunLog(L"port takes the spare name COM%d first, so that its cycle can move: %ls", static_cast<int>(number),
               node.chars);
    }
    const wchar_t* nameBefore = PortNameText(ports->set, &data, before);
    const wchar_t* friendlyNameBefore = FriendlyNameText(ports->set, &data, friendlyBefore);
    WritePortNames(ports->set, &data, ports->namePrefix, number);
    const RestartResult restart = RestartDevice(ports->set, &data);
    RestartOutcome outcome = RestartOutcome::kRestarted;
    const wchar_t* what = L"restarted";
    if (!restart.installerCalled) {
        outcome = RestartOutcome::kFailed;
        what = L"NOT restarted: the class installer failed, it keeps its old name until a reboot";
    } else if (restart.rebootNeeded) {
        outcome = RestartOutcome::kDeferred;
        what = L"NOT restarted: it is in use, Windows left its restart for the next reboot";
    }
    if (outcome != RestartOutcome::kRestarted) ports->rebootNeeded = true;
    RunLog(L"port written COM%d, %ls: %ls, PortName %ls -> %ls, friendly name %ls -> %ls", static_cast<int>(number),
           what, node.chars, nameBefore, PortNameText(ports->set, &data, after), friendlyNameBefore,
           FriendlyNameText(ports->set, &data, friendlyAfter));
    return outcome;
}

void MachinePorts::WriteForReboot(const RemapPlan& plan, uint32_t i, uint32_t holder) {
    ports->rebootNeeded = true;
    SP_DEVINFO_DATA data = {};
    SP_DEVINFO_DATA holderData = {};
    LogQuote node, held;
    const wchar_t* heldBy = holder < plan.count ? Node(ports, plan.port[holder].member, &holderData, held)
                                                : L"(its own restart was left for the reboot)";
    Node(ports, plan.port[i].member, &data, node);
    WritePortNames(ports->set, &data, ports->namePrefix, plan.port[i].to);
    RunLog(L"port written COM%d for the next reboot, NOT restarted: the name it is to take is held until then by "
           L"port %ls: %ls",
           static_cast<int>(plan.port[i].to), heldBy, node.chars);
}

void MachinePorts::Keep(const RemapPlan& plan, uint32_t i) {
    Report(plan.port[i].member, PortNote::kCycleWithoutSpare, plan.port[i].from);
}

void MachinePorts::Report(uint32_t member, PortNote note, int32_t number) {
    SP_DEVINFO_DATA data = {};
    LogQuote node, name;
    Node(ports, member, &data, node);
    const wchar_t* portName = PortNameText(ports->set, &data, name);
    wchar_t holder[kPathChars] = {};
    const wchar_t* why = L"";
    switch (note) {
        case PortNote::kNoReadableName: {
            // Read-only, the name may still be there: then the key is what cannot be opened for writing.
            wchar_t readable[kTextChars] = {};
            why = ReadPortNameText(ports->set, &data, KEY_READ, readable)
                      ? L"its device key cannot be opened for writing"
                      : L"no PortName could be read";
            break;
        }
        case PortNote::kNoNumber: why = L"its PortName gives no COM number"; break;
        case PortNote::kPastLastSlot: why = L"its position in card order is past the 256th"; break;
        case PortNote::kPositionTaken: why = L"an earlier port already holds its position in card order"; break;
        case PortNote::kNumberHeldTwice: why = L"an earlier port holds the same number"; break;
        case PortNote::kNumberKeptByLeftOut: why = L"a port left as it was holds the same number"; break;
        case PortNote::kNameHeldElsewhere:
            RunLog(L"port left as it was, not restarted: COM%d, the name it would take, is held by %ls: %ls, "
                   L"PortName %ls",
                   static_cast<int>(number), HolderElsewhere(ports, number, holder, kPathChars), node.chars, portName);
            return;
        case PortNote::kInPlace:
            RunLog(L"port already in place as COM%d, not written, not restarted: %ls", static_cast<int>(number),
                   node.chars);
            return;
        case PortNote::kCycleWithoutSpare:
            why = L"it would take a number of its cycle, and no spare COM name is known to be free";
            break;
    }
    RunLog(L"port left as it was, not restarted: %ls: %ls, PortName %ls", why, node.chars, portName);
}

// A record an earlier run left, read whole, with each port found in this run's
// set and holding one of the names the plan gives it; false (and nothing done)
// otherwise, each reason logged.
bool ResolvePlan(PortSet* ports, RemapPlan* plan) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    static uint8_t bytes[kPlanRecordBytes + 1];
    DWORD size = sizeof(bytes);
    const LONG status = RegQueryValueExW(key.get(), kPlanValue, nullptr, nullptr, bytes, &size);
    if (status == ERROR_FILE_NOT_FOUND) return false;
    if (status != ERROR_SUCCESS || !ReadPlanRecord(bytes, size, plan)) {
        RunLog(L"re-map plan left by an earlier run: cannot be read whole (status %ld, %lu bytes), not acted on",
               static_cast<long>(status), static_cast<unsigned long>(size));
        return false;
    }
    bool usable = true;
    for (uint32_t i = 0; i < plan->count; ++i) {
        PlanPort& port = plan->port[i];
        wchar_t id[kPlanIdUnits] = {};
        for (uint32_t u = 0; u < port.idLength; ++u) id[u] = static_cast<wchar_t>(port.id[u]);
        const bool found = FindMember(ports, id, &port.member) && Select(ports, port.member);
        int32_t number = 0;
        LogQuote quoted;
        if (!found) {
            RunLog(L"re-map plan left by an earlier run: not acted on, its port is gone: %ls", LogQuoted(id, quoted));
            usable = false;
        } else if (!ReadComNumber(ports->set, &ports->member, &number) ||
                   (number != port.from && number != port.to && (plan->spare == 0 || number != plan->spare))) {
            RunLog(L"re-map plan left by an earlier run: not acted on, its port holds none of the names the plan "
                   L"gives it (COM%d, COM%d, spare COM%d): %ls",
                   static_cast<int>(port.from), static_cast<int>(port.to), static_cast<int>(plan->spare),
                   LogQuoted(id, quoted));
            usable = false;
        }
        ports->record.port[i] = port;
    }
    if (!usable && plan->spare != 0) {
        RunLog(L"re-map plan left by an earlier run: its spare name COM%d stays reserved in the COM-port database",
               static_cast<int>(plan->spare));
    }
    return usable;
}

}  // namespace

bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number) {
    wchar_t text[kTextChars] = {};
    if (!ReadPortNameText(set, member, KEY_ALL_ACCESS, text)) return false;
    *number = ComNumberFromPortName(text, kTextChars);
    return true;
}

RestartResult RestartDevice(HDEVINFO set, SP_DEVINFO_DATA* member) {
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = DICS_PROPCHANGE;
    params.Scope = DICS_FLAG_GLOBAL;
    params.HwProfile = 0;
    RestartResult result = {};
    // A node that cannot be stopped (a program holds it open) is left for the next
    // reboot: the class installer says so in these flags. Cleared first, so that
    // they tell of this restart alone.
    constexpr DWORD kRebootFlags = DI_NEEDRESTART | DI_NEEDREBOOT;
    SP_DEVINSTALL_PARAMS_W install = {};
    install.cbSize = sizeof(install);
    if (SetupDiGetDeviceInstallParamsW(set, member, &install) && (install.Flags & kRebootFlags) != 0) {
        install.Flags &= ~kRebootFlags;
        SetupDiSetDeviceInstallParamsW(set, member, &install);
    }
    result.paramsSet =
        SetupDiSetClassInstallParamsW(set, member, &params.ClassInstallHeader, sizeof(params)) != FALSE;
    // The class installer is called also when the parameters were not taken.
    result.installerCalled = SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, member) != FALSE;
    const LastErrorGuard keep;  // the caller reads the installer's error
    install = {};
    install.cbSize = sizeof(install);
    result.rebootNeeded =
        SetupDiGetDeviceInstallParamsW(set, member, &install) && (install.Flags & kRebootFlags) != 0;
    return result;
}

void RemapComPorts(const wchar_t* enumeratorFilter, const wchar_t* namePrefix) {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumeratorFilter, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) {
        RunLog(L"%ls: the list of port nodes could not be had (error %lu), nothing re-mapped", enumeratorFilter,
               GetLastError());
        return;
    }
    static PortSet ports;  // one run, one thread: the record is too large for the stack
    ports = PortSet{};
    ports.set = set.get();
    ports.member.cbSize = sizeof(ports.member);
    ports.namePrefix = namePrefix;
    ports.prefixLength = std::wcslen(namePrefix);
    MachinePorts system(&ports);

    // A plan an earlier run left unfinished is finished first, in the same safe order.
    static RemapPlan left;
    left = RemapPlan{};
    bool finished = true;
    if (ResolvePlan(&ports, &left)) {
        RunLog(L"re-map plan left unfinished by an earlier run: finishing it (%lu ports, spare COM%d)",
               static_cast<unsigned long>(left.count), static_cast<int>(left.spare));
        ports.planSaved = true;
        finished = FinishPlan(&left, system);
    } else {
        system.DropPlan();
    }
    if (!finished) {
        RunLog(L"re-map plan left by an earlier run: still waits for a reboot; no new re-map until it is done");
    } else if (!SetupDiEnumDeviceInfo(set.get(), 0, &ports.member)) {
        RunLog(L"%ls: no port node of the card found, nothing to re-map", enumeratorFilter);
    } else {
        RenumberPorts(system);
    }
    RunLog(ports.rebootNeeded ? L"reboot needed: yes, the ports above that were NOT restarted take their new names "
                                L"at the next reboot (close the programs that hold them, or restart Windows)"
                              : L"reboot needed: no");
}

}  // namespace mioutil
