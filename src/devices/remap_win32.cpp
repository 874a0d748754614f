#include "devices/remap.h"

#include <cwchar>

#include "devices/com_db.h"
#include "devices/node.h"
#include "devices/port_table.h"
#include "devices/remap_plan.h"
#include "devices/remap_walk.h"
#include "log.h"
#include "log_text.h"
#include "names.h"
#include "platform/unique_handle.h"
#include "devices/remap_status.h"
#include "status.h"
#include "text.h"

namespace mioutil {

namespace {

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "instance IDs are kept as UTF-16 code units");

// A port's line holds its instance ID and up to four of its names: the names are
// shortened further than other texts, so that the outcome and all of them fit.
constexpr size_t kNameChars = 40;
static_assert(LogQuotedWidth(kLogTextChars) + 4 * LogQuotedWidth(kNameChars) + 150 < kLogLineChars,
              "a port's line fits");
static_assert(2 * LogQuotedWidth(kLogTextChars) + LogQuotedWidth(kNameChars) + 150 < kLogLineChars,
              "a line with two ports fits");

const wchar_t* QuotedName(const wchar_t* text, LogQuote& out) {
    return LogQuoted(text, kNameChars, out.chars, LogQuotedCapacity(kLogTextChars));
}

DWORD TextBytes(const wchar_t* text) { return static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)); }

bool SelectMember(HDEVINFO set, uint32_t member, SP_DEVINFO_DATA* data) {
    data->cbSize = sizeof(*data);
    return SetupDiEnumDeviceInfo(set, member, data) != FALSE;
}

// A name of the node for the run log, quoted and shortened: its "PortName" or its
// friendly name as they stand, (none) where there is none.
const wchar_t* PortNameText(HDEVINFO set, SP_DEVINFO_DATA* member, LogQuote& out) {
    wchar_t text[kTextChars] = {};
    if (!ReadPortNameText(set, member, KEY_READ, text)) return L"(none)";
    text[kTextChars - 1] = L'\0';
    return QuotedName(text, out);
}

bool ReadFriendlyName(HDEVINFO set, SP_DEVINFO_DATA* member, wchar_t* text) {
    return SetupDiGetDeviceRegistryPropertyW(set, member, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(text),
                                             (kTextChars - 1) * sizeof(wchar_t), nullptr) != FALSE;
}

const wchar_t* FriendlyNameText(HDEVINFO set, SP_DEVINFO_DATA* member, LogQuote& out) {
    wchar_t text[kTextChars] = {};
    return ReadFriendlyName(set, member, text) ? QuotedName(text, out) : L"(none)";
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

bool ReadInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, PlanId* id) {
    wchar_t text[kPlanIdUnits] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, data, text, kPlanIdUnits, nullptr)) return false;
    id->length = static_cast<uint32_t>(TextLength(text, kPlanIdUnits));
    for (uint32_t u = 0; u < id->length; ++u) id->units[u] = static_cast<uint16_t>(text[u]);
    return id->length != 0;
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

const wchar_t* StaleText(StaleReason why) {
    switch (why) {
        case StaleReason::kNotTheCardsNumbers: return L"its numbers are not the card's own";
        case StaleReason::kSameIdTwice: return L"it names one port twice";
        case StaleReason::kNamesDoNotAdd: return L"its names do not add up";
        case StaleReason::kPortDisagrees: return L"the port's PortName is not the name the plan gives it";
        case StaleReason::kNone: break;
    }
    return L"";
}

// What the re-map asks, answered by this machine's SetupAPI, registry and COM-port
// database; the plan's instance IDs and its record are kept here.
class MachinePorts final : public RemapSystem {
public:
    MachinePorts(HDEVINFO set, const wchar_t* namePrefix) : set_(set), prefix_(namePrefix) {}

    bool Exists(uint32_t member) override {
        SP_DEVINFO_DATA data;
        return SelectMember(set_, member, &data);
    }
    PortNameRead ReadPortName(uint32_t member) override {
        SP_DEVINFO_DATA data;
        wchar_t text[kTextChars] = {};
        if (!SelectMember(set_, member, &data) || !ReadPortNameText(set_, &data, KEY_ALL_ACCESS, text)) return {};
        return ReadPortNameText(text, kTextChars);
    }
    bool ReadLocationNumber(uint32_t member, int32_t* number) override {
        SP_DEVINFO_DATA data;
        wchar_t text[kTextChars] = {};
        if (!SelectMember(set_, member, &data) ||
            !SetupDiGetDeviceRegistryPropertyW(set_, &data, SPDRP_LOCATION_INFORMATION, nullptr,
                                               reinterpret_cast<BYTE*>(text), sizeof(text), nullptr)) {
            return false;
        }
        *number = LocationNumber(text, kTextChars, std::wcslen(prefix_));
        return true;
    }
    bool FriendlyNameIs(uint32_t member, int32_t number) override {
        SP_DEVINFO_DATA data;
        wchar_t want[kTextChars] = {};
        wchar_t friendly[kTextChars] = {};
        return SelectMember(set_, member, &data) && FormatFriendlyName(want, kTextChars, prefix_, number) &&
               ReadFriendlyName(set_, &data, friendly) && std::wcscmp(friendly, want) == 0;
    }
    bool CountHolders(HolderCounts* counts) override {
        const bool listed = ForEachNodePortName([&](HDEVINFO, SP_DEVINFO_DATA*, const wchar_t* name) {
            counts->nodesExact.Add(ExactComNumber(name, kTextChars));
            counts->nodesReading.Add(ComNumberFromPortName(name, kTextChars));
        });
        ForEachSerialCommName([&](const wchar_t*, const wchar_t* data) {
            counts->liveExact.Add(ExactComNumber(data, kTextChars));
            counts->liveReading.Add(ComNumberFromPortName(data, kTextChars));
        });
        return listed;
    }
    bool ReadReserved(ComNumberSet* held) override;
    bool ClaimSpare(int32_t number) override { return ChangeSpareClaim(number, true); }
    bool ReleaseSpare(int32_t number) override { return ChangeSpareClaim(number, false); }
    LeftPlan ReadPlan(RemapPlan* plan) override;
    bool SavePlan(const RemapPlan& plan, bool fresh) override;
    bool DropPlan() override;
    bool WriteNames(uint32_t member, int32_t number) override;
    RestartOutcome Restart(uint32_t member) override {
        SP_DEVINFO_DATA data;
        if (!SelectMember(set_, member, &data)) return RestartOutcome::kFailed;
        return OutcomeOf(RestartDevice(set_, &data));
    }
    void Report(uint32_t member, PortNote note, int32_t number, uint32_t other) override;
    void ReportPlan(PlanNote note, const RemapPlan& plan, StaleReason why, uint32_t port) override;

    const wchar_t* WhyLeft(uint32_t member, PortNote note);
    const wchar_t* HolderOf(int32_t number, wchar_t* holder);
    // The member's instance ID as the log shows it.
    const wchar_t* Node(uint32_t member, LogQuote& out) {
        SP_DEVINFO_DATA data;
        if (!SelectMember(set_, member, &data)) return L"(unknown node)";
        wchar_t id[kPathChars] = {};
        return LogQuoted(NodeName(set_, &data, id, kPathChars), out);
    }
    const wchar_t* PortNameOf(uint32_t member, LogQuote& out) {
        SP_DEVINFO_DATA data;
        return SelectMember(set_, member, &data) ? PortNameText(set_, &data, out) : L"(none)";
    }
    const wchar_t* Prefix() const { return prefix_; }
    // Port i's instance ID as the record keeps it, for the log.
    const wchar_t* RecordedId(uint32_t i, LogQuote& out) const {
        wchar_t id[kPlanIdUnits] = {};
        for (uint32_t u = 0; i < kPortSlots && u < ids_[i].length && u + 1 < kPlanIdUnits; ++u) {
            id[u] = static_cast<wchar_t>(ids_[i].units[u]);
        }
        return LogQuoted(id, out);
    }

private:
    bool MarkThisBoot();
    bool SaveFailed(LONG status) {
        if (!saveLogged_) {
            wchar_t meaning[kTextChars] = {};
            RunLog(L"re-map plan could not be recorded, error %ld (%ls)", static_cast<long>(status),
                   ErrorMeaning(static_cast<uint32_t>(status), meaning, kTextChars));
        }
        saveLogged_ = true;
        return false;
    }

    HDEVINFO set_;
    const wchar_t* prefix_;
    PlanId ids_[kPortSlots] = {};  // the plan's ports, by the instance IDs the record keeps
    uint64_t stamp_ = 0;           // this boot's marker, once it is known
    bool stampKnown_ = false;
    bool saveLogged_ = false;
    DWORD recordBytes_ = 0;  // the size of the record read, for the log
    bool sameBoot_ = false;  // it was written in this boot
    uint8_t record_[kPlanRecordBytes + 1] = {};
    // The names of the port last written as they stood before, for its restart's line.
    uint32_t written_ = 0xFFFFFFFF;
    LogQuote portNameBefore_ = {}, friendlyBefore_ = {};
    bool friendlyWritten_ = false;
    LONG writeError_ = ERROR_SUCCESS;
};

// The numbers the COM-port database reserves. A number past those it reports on
// counts as reserved: nothing is known of it.
bool MachinePorts::ReadReserved(ComNumberSet* held) {
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

// The marker of this boot: a volatile key beside the record, with a stamp the
// record carries. A reboot takes the key away, and a new one gets a new stamp.
bool MachinePorts::MarkThisBoot() {
    if (stampKnown_) return true;
    // The tool's key itself is created first, non-volatile: a key made in passing
    // by a volatile create would be volatile too, and the record lost at a reboot.
    UniqueRegKey tool;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_CREATE_SUB_KEY | KEY_WOW64_64KEY, nullptr, tool.put(), nullptr);
    UniqueRegKey boot;
    DWORD disposition = 0;
    if (status == ERROR_SUCCESS) {
        status = RegCreateKeyExW(tool.get(), kPlanBootSubkey, 0, nullptr, REG_OPTION_VOLATILE,
                                 KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, boot.put(), &disposition);
    }
    if (status != ERROR_SUCCESS) return SaveFailed(status);
    uint8_t bytes[8] = {};
    DWORD size = sizeof(bytes);
    DWORD type = 0;
    if (disposition == REG_OPENED_EXISTING_KEY &&
        RegQueryValueExW(boot.get(), kPlanBootValue, nullptr, &type, bytes, &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof(bytes)) {
        for (int b = 0; b < 8; ++b) stamp_ |= static_cast<uint64_t>(bytes[b]) << (8 * b);
    } else {
        FILETIME now = {};
        GetSystemTimeAsFileTime(&now);
        stamp_ = (static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) ^ GetCurrentProcessId();
        for (int b = 0; b < 8; ++b) bytes[b] = static_cast<uint8_t>(stamp_ >> (8 * b));
        status = RegSetValueExW(boot.get(), kPlanBootValue, 0, REG_BINARY, bytes, sizeof(bytes));
        if (status != ERROR_SUCCESS) return SaveFailed(status);
    }
    stampKnown_ = true;
    return true;
}

LeftPlan MachinePorts::ReadPlan(RemapPlan* plan) {
    LeftPlan found = {LeftPlan::kNone, false, 0};
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return found;
    }
    DWORD size = sizeof(record_);
    const LONG status = RegQueryValueExW(key.get(), kPlanValue, nullptr, nullptr, record_, &size);
    if (status == ERROR_FILE_NOT_FOUND) return found;
    recordBytes_ = size;
    uint64_t stamp = 0;
    found.kind = LeftPlan::kDamaged;
    if (status != ERROR_SUCCESS) return found;
    switch (ReadPlanRecord(record_, size, plan, ids_, &stamp)) {
        case RecordRead::kDamaged: return found;
        case RecordRead::kSpareOnly: found.kind = LeftPlan::kSpareOnly; return found;
        case RecordRead::kWhole: break;
    }
    // Each port by its instance ID, whatever its place in this run's set.
    bool located[kPortSlots] = {};
    SP_DEVINFO_DATA data;
    for (uint32_t m = 0; SelectMember(set_, m, &data); ++m) {
        PlanId id = {};
        if (!ReadInstanceId(set_, &data, &id)) continue;
        for (uint32_t i = 0; i < plan->count; ++i) {
            if (!located[i] && SameId(id, ids_[i])) {
                plan->port[i].member = m;
                located[i] = true;
            }
        }
    }
    found.kind = LeftPlan::kWhole;
    for (uint32_t i = plan->count; i-- > 0;) {
        if (!located[i]) {
            found.kind = LeftPlan::kPortGone;
            found.gone = i;
        }
    }
    UniqueRegKey boot;
    uint8_t bytes[8] = {};
    DWORD markerSize = sizeof(bytes);
    DWORD type = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlanBootKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, boot.put()) ==
            ERROR_SUCCESS &&
        RegQueryValueExW(boot.get(), kPlanBootValue, nullptr, &type, bytes, &markerSize) == ERROR_SUCCESS &&
        type == REG_BINARY && markerSize == sizeof(bytes)) {
        uint64_t marker = 0;
        for (int b = 0; b < 8; ++b) marker |= static_cast<uint64_t>(bytes[b]) << (8 * b);
        found.sameBoot = marker == stamp;
    }
    sameBoot_ = found.sameBoot;
    return found;
}

// The record: one binary value, written whole each time, so that a run cut short
// leaves either the record before a step or the one after it.
bool MachinePorts::SavePlan(const RemapPlan& plan, bool fresh) {
    for (uint32_t i = 0; fresh && i < plan.count; ++i) {
        SP_DEVINFO_DATA data;
        if (!SelectMember(set_, plan.port[i].member, &data) || !ReadInstanceId(set_, &data, &ids_[i])) {
            return SaveFailed(static_cast<LONG>(GetLastError()));
        }
    }
    if (!MarkThisBoot()) return false;
    const size_t size = WritePlanRecord(plan, ids_, stamp_, record_, sizeof(record_));
    if (size == 0) return SaveFailed(ERROR_INVALID_DATA);
    UniqueRegKey key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), kPlanValue, 0, REG_BINARY, record_, static_cast<DWORD>(size));
    }
    return status == ERROR_SUCCESS || SaveFailed(status);
}

bool MachinePorts::DropPlan() {
    LONG status = ERROR_FILE_NOT_FOUND;
    {
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.put()) ==
            ERROR_SUCCESS) {
            status = RegDeleteValueW(key.get(), kPlanValue);
        }
    }
    // The marker goes with its record; the key too, while nothing else is in it.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPlanBootKeyPath);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPlanKeyPath);
    stampKnown_ = false;
    stamp_ = 0;
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
    wchar_t meaning[kTextChars] = {};
    RunLog(L"re-map plan could not be dropped, error %ld (%ls): the next run takes it up again",
           static_cast<long>(status), ErrorMeaning(static_cast<uint32_t>(status), meaning, kTextChars));
    return false;
}

bool MachinePorts::WriteNames(uint32_t member, int32_t number) {
    SP_DEVINFO_DATA data;
    written_ = 0xFFFFFFFF;
    writeError_ = ERROR_NO_MORE_ITEMS;
    if (!SelectMember(set_, member, &data)) return false;
    PortNameText(set_, &data, portNameBefore_);
    FriendlyNameText(set_, &data, friendlyBefore_);
    wchar_t comName[kTextChars] = {};
    wchar_t friendlyName[kTextChars] = {};
    writeError_ = ERROR_INVALID_DATA;
    if (!FormatComName(comName, kTextChars, number) ||
        !FormatFriendlyName(friendlyName, kTextChars, prefix_, number)) {
        return false;
    }
    {
        UniqueRegKey key(OpenDeviceKey(set_, &data, KEY_ALL_ACCESS));
        if (!key.valid()) {
            writeError_ = static_cast<LONG>(GetLastError());
            return false;
        }
        writeError_ = RegSetValueExW(key.get(), kPortNameValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(comName),
                                     TextBytes(comName));
        if (writeError_ != ERROR_SUCCESS) return false;
    }
    friendlyWritten_ = SetupDiSetDeviceRegistryPropertyW(set_, &data, SPDRP_FRIENDLYNAME,
                                                         reinterpret_cast<const BYTE*>(friendlyName),
                                                         TextBytes(friendlyName)) != FALSE;
    written_ = member;
    return true;
}

// Why a port is left as it is, in the words of the run log and of -Status; null
// for the notes that say more than a reason.
const wchar_t* MachinePorts::WhyLeft(uint32_t member, PortNote note) {
    switch (note) {
        case PortNote::kNoReadableName: {
            // Read-only, the name may still be there: then the key is what cannot be opened for writing.
            SP_DEVINFO_DATA data;
            wchar_t readable[kTextChars] = {};
            return SelectMember(set_, member, &data) && ReadPortNameText(set_, &data, KEY_READ, readable)
                       ? L"its device key cannot be opened for writing"
                       : L"no PortName could be read";
        }
        case PortNote::kNoNumber: return L"its PortName gives no COM number";
        case PortNote::kPastLastSlot: return L"its position in card order is past the 256th";
        case PortNote::kPositionTaken: return L"an earlier port already holds its position in card order";
        case PortNote::kNumberHeldTwice: return L"an earlier port holds the same number";
        case PortNote::kNumberKeptByLeftOut: return L"a port left as it was holds the same number";
        case PortNote::kCycleWithoutSpare:
            return L"it would take a number of its cycle, and no spare COM name is known to be free";
        case PortNote::kCycleNotRecorded:
            return L"it would take a number of its cycle, and without its plan recorded no spare COM name is used";
        default: return nullptr;
    }
}

// Who holds COM<number> outside the set: a node by its instance ID, or a live name in SERIALCOMM.
const wchar_t* MachinePorts::HolderOf(int32_t number, wchar_t* holder) {
    std::swprintf(holder, kPathChars, L"a device SERIALCOMM lists");
    LogQuote quoted;
    bool named = false;
    ForEachNodePortName([&](HDEVINFO all, SP_DEVINFO_DATA* node, const wchar_t* text) {
        PlanId other = {};
        if (named || ExactComNumber(text, kTextChars) != number || !ReadInstanceId(all, node, &other)) return;
        SP_DEVINFO_DATA mine;
        for (uint32_t m = 0; SelectMember(set_, m, &mine); ++m) {
            PlanId own = {};
            if (ReadInstanceId(set_, &mine, &own) && SameId(own, other)) return;
        }
        wchar_t id[kPlanIdUnits] = {};
        for (uint32_t u = 0; u < other.length; ++u) id[u] = static_cast<wchar_t>(other.units[u]);
        std::swprintf(holder, kPathChars, L"device node %ls", LogQuoted(id, quoted));
        named = true;
    });
    ForEachSerialCommName([&](const wchar_t* device, const wchar_t* text) {
        if (named || ExactComNumber(text, kTextChars) != number) return;
        std::swprintf(holder, kPathChars, L"%ls in SERIALCOMM", LogQuoted(device, quoted));
        named = true;
    });
    return holder;
}

void MachinePorts::Report(uint32_t member, PortNote note, int32_t number, uint32_t other) {
    LogQuote node, name, held;
    const wchar_t* id = Node(member, node);
    SP_DEVINFO_DATA data;
    const bool selected = SelectMember(set_, member, &data);
    const wchar_t* portName = selected ? PortNameText(set_, &data, name) : L"(none)";
    if (const wchar_t* why = WhyLeft(member, note)) {
        RunLog(L"port left as it was, not restarted: %ls: %ls, PortName %ls", why, id, portName);
        return;
    }
    switch (note) {
        case PortNote::kNameHeldElsewhere: {
            wchar_t holder[kPathChars] = {};
            RunLog(L"port left as it was, not restarted: COM%d, the name it would take, is held by %ls: %ls, "
                   L"PortName %ls",
                   static_cast<int>(number), HolderOf(number, holder), id, portName);
            return;
        }
        case PortNote::kInPlace:
            RunLog(L"port already in place as COM%d, not written, not restarted: %ls", static_cast<int>(number), id);
            return;
        case PortNote::kTakesSpare:
            RunLog(L"port takes the spare name COM%d first, so that its cycle can move: %ls", static_cast<int>(number),
                   id);
            return;
        case PortNote::kRestarted:
        case PortNote::kDeferred:
        case PortNote::kFailed: {
            const wchar_t* what = note == PortNote::kRestarted ? L"restarted"
                                  : note == PortNote::kDeferred
                                      ? L"NOT restarted: it is in use, Windows left its restart for the next reboot"
                                      : L"NOT restarted: the class installer failed, it keeps its old name until a reboot";
            wchar_t after[kTextChars] = {};
            wchar_t friendlyAfter[kTextChars] = {};
            LogQuote newName, newFriendly;
            FormatComName(after, kTextChars, number);
            FormatFriendlyName(friendlyAfter, kTextChars, prefix_, number);
            const bool known = written_ == member;
            RunLog(L"port written COM%d, %ls: %ls, PortName %ls -> %ls, friendly name %ls -> %ls",
                   static_cast<int>(number), what, id, known ? portNameBefore_.chars : L"(unknown)",
                   QuotedName(after, newName), known ? friendlyBefore_.chars : L"(unknown)",
                   known && friendlyWritten_ ? QuotedName(friendlyAfter, newFriendly) : L"(not written)");
            return;
        }
        case PortNote::kNotWritten: {
            wchar_t meaning[kTextChars] = {};
            RunLog(L"port NOT written COM%d, error %ld (%ls), not restarted, left as it was: %ls, PortName %ls",
                   static_cast<int>(number), static_cast<long>(writeError_),
                   ErrorMeaning(static_cast<uint32_t>(writeError_), meaning, kTextChars), id, portName);
            return;
        }
        case PortNote::kWrittenForReboot:
            RunLog(L"port written COM%d for the next reboot, NOT restarted: the name it is to take is held until then "
                   L"by port %ls: %ls",
                   static_cast<int>(number), Node(other, held), id);
            return;
        case PortNote::kStillWaits:
            RunLog(L"port NOT restarted, it waits for the next reboot: its PortName is COM%d already, and port %ls "
                   L"holds the name it is to take until then: %ls",
                   static_cast<int>(number), Node(other, held), id);
            return;
        case PortNote::kStopped:
            RunLog(L"port NOT touched: the plan could not be recorded after the last step, the next run goes on "
                   L"from there: %ls, PortName %ls",
                   id, portName);
            return;
        default: return;
    }
}

void MachinePorts::ReportPlan(PlanNote note, const RemapPlan& plan, StaleReason why, uint32_t port) {
    LogQuote id;
    const int spare = static_cast<int>(plan.spare);
    switch (note) {
        case PlanNote::kDamaged:
            RunLog(L"re-map plan left by an earlier run: cannot be read whole, nor its spare name (%lu bytes): not "
                   L"acted on, dropped",
                   static_cast<unsigned long>(recordBytes_));
            return;
        case PlanNote::kUnreadable:
            RunLog(L"re-map plan left by an earlier run: cannot be read whole (%lu bytes, spare COM%d): not acted on, "
                   L"dropped",
                   static_cast<unsigned long>(recordBytes_), spare);
            return;
        case PlanNote::kPortGone:
            RunLog(L"re-map plan left by an earlier run: not acted on, one of its ports is gone: %ls; dropped",
                   RecordedId(port, id));
            return;
        case PlanNote::kStale:
            RunLog(L"re-map plan left by an earlier run: stale, not acted on, %ls: %ls; dropped", StaleText(why),
                   RecordedId(port, id));
            return;
        case PlanNote::kUntouched:
            RunLog(L"re-map plan left by an earlier run: no port had moved yet, dropped; the re-map starts again");
            return;
        case PlanNote::kFinishing:
            RunLog(L"re-map plan left unfinished by an earlier run: finishing it (%lu ports, spare COM%d, %ls)%ls%ls",
                   static_cast<unsigned long>(plan.count), spare,
                   sameBoot_ ? L"recorded in this boot: the drivers hold what it says"
                             : L"recorded before a reboot: every driver holds its PortName",
                   port < plan.count ? L"; cut short at the port, which may hold either of two names: " : L"",
                   port < plan.count ? RecordedId(port, id) : L"");
            return;
        case PlanNote::kFinished:
            RunLog(L"re-map plan left by an earlier run: finished, its ports hold their final names");
            return;
        case PlanNote::kWaits:
            RunLog(L"re-map plan left by an earlier run: still waits for a reboot; no new re-map until it is done");
            return;
        case PlanNote::kCannotRecord:
            RunLog(L"re-map plan left by an earlier run: not acted on in this run, it could not be recorded again; "
                   L"no new re-map until it is done");
            return;
        case PlanNote::kPortsRemoved:
            RunLog(L"re-map plan left by an earlier run: its ports were removed, dropped (spare COM%d)", spare);
            return;
        case PlanNote::kNotRecorded:
            RunLog(L"re-map plan for spare COM%d not recorded: no spare name is used, so ports that take each other's "
                   L"numbers keep their names",
                   spare);
            return;
        case PlanNote::kSpareKept:
            RunLog(L"spare name COM%d stays reserved in the COM-port database: %ls", spare,
                   port != 0 ? L"the device nodes cannot be listed to know that nothing else holds it"
                             : L"a device node or a live serial port name holds it");
            return;
    }
}

}  // namespace

void RemapComPorts(const wchar_t* enumeratorFilter, const wchar_t* namePrefix) {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumeratorFilter, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) {
        RunLog(L"%ls: the list of port nodes could not be had (error %lu), nothing re-mapped", enumeratorFilter,
               GetLastError());
        RunLog(L"reboot needed: no");
        return;
    }
    MachinePorts machine(set.get(), namePrefix);
    if (!machine.Exists(0)) RunLog(L"%ls: no port node of the card found, nothing to re-map", enumeratorFilter);
    const RemapSummary summary = RemapPorts(machine);
    RunLog(summary.rebootNeeded ? L"reboot needed: yes, the ports above that were NOT restarted take their new names "
                                  L"at the next reboot (close the programs that hold them, or restart Windows)"
                                : L"reboot needed: no");
}

namespace {

// Where the member stands in card order, as pass 1 places it: its card and port,
// or why it has no place.
struct Place {
    bool placed;
    uint32_t position;
    uint32_t card;
    int32_t port;
    const wchar_t* none;  // why it has no place
};

// One port's line of -Status: what it is, where, its name, what a plain run does to it.
void PrintPort(MachinePorts& machine, const DryRun& dry, uint32_t member, const Place& place) {
    LogQuote id, name, held;
    wchar_t where[64] = {};
    if (place.placed) {
        std::swprintf(where, 64, L"card %lu port %d", static_cast<unsigned long>(place.card), static_cast<int>(place.port));
    } else {
        std::swprintf(where, 64, L"no place in card order (%ls)", place.none);
    }
    const PortVerdict v = dry.Verdict(member);
    const wchar_t* node = machine.Node(member, id);
    const wchar_t* portName = machine.PortNameOf(member, name);
    const int n = static_cast<int>(v.number);
    if (!v.told) {
        StatusLine(L"port %ls: %ls, PortName %ls: a plain run leaves it: %ls", node, where, portName,
                   dry.Plan().told[static_cast<uint32_t>(PlanNote::kWaits)] || dry.Plan().told[static_cast<uint32_t>(PlanNote::kCannotRecord)]
                       ? L"a plan an earlier run left is not done, no new re-map until it is"
                       : L"nothing to do");
    } else if (v.restarted) {
        const bool sameName = machine.ReadPortName(member).written == v.written;
        if (sameName && machine.FriendlyNameIs(member, v.written)) {
            StatusLine(L"port %ls: %ls, PortName %ls: a plain run restarts it to take COM%d, the name it already has",
                       node, where, portName, static_cast<int>(v.written));
        } else {
            StatusLine(L"port %ls: %ls, PortName %ls: a plain run %ls COM%d%ls and restarts it", node, where, portName,
                       sameName ? L"rewrites its friendly name for" : L"renames it", static_cast<int>(v.written),
                       v.spare ? L" (through the spare name first)" : L"");
        }
    } else if (v.note == PortNote::kWrittenForReboot) {
        StatusLine(L"port %ls: %ls, PortName %ls: a plain run writes it COM%d for the next reboot, NOT restarted: "
                   L"port %ls holds that name until then", node, where, portName, n, machine.Node(v.other, held));
    } else if (v.note == PortNote::kInPlace) {
        StatusLine(L"port %ls: %ls, PortName %ls: a plain run leaves it: already in place as COM%d", node, where,
                   portName, n);
    } else if (v.note == PortNote::kNameHeldElsewhere) {
        wchar_t holder[kPathChars] = {};
        StatusLine(L"port %ls: %ls, PortName %ls: a plain run leaves it: COM%d, the name it would take, is held by %ls",
                   node, where, portName, n, machine.HolderOf(v.number, holder));
    } else if (v.note == PortNote::kStillWaits) {
        StatusLine(L"port %ls: %ls, PortName %ls: a plain run leaves it: it waits for the next reboot, and port %ls "
                   L"holds the name it is to take until then", node, where, portName, machine.Node(v.other, held));
    } else {
        const wchar_t* why = machine.WhyLeft(member, v.note);
        StatusLine(L"port %ls: %ls, PortName %ls: a plain run leaves it: %ls", node, where, portName,
                   why != nullptr ? why : L"nothing to do");
    }
}

// The plan an earlier run left, and what a plain run does with it.
void PrintPlan(MachinePorts& machine, const DryRun& dry) {
    const PlanVerdict& p = dry.Plan();
    auto told = [&p](PlanNote note) { return p.told[static_cast<uint32_t>(note)]; };
    const int spare = static_cast<int>(p.plan.spare);
    const wchar_t* spareFate = told(PlanNote::kSpareKept) ? L"its spare stays reserved (something else holds it)"
                               : spare != 0                ? L"its spare is released"
                                                           : L"it has no spare";
    LogQuote id;
    switch (p.found.kind) {
        case LeftPlan::kNone: StatusLine(L"plan: none pending"); return;
        case LeftPlan::kDamaged:
            StatusLine(L"plan: left by an earlier run, cannot be read whole, nor its spare: a plain run drops it");
            return;
        case LeftPlan::kSpareOnly:
            StatusLine(L"plan: left by an earlier run, cannot be read whole (spare COM%d): a plain run drops it, %ls",
                       spare, spareFate);
            return;
        case LeftPlan::kPortGone:
            StatusLine(L"plan: left by an earlier run (spare COM%d), one of its ports is gone: %ls: a plain run drops "
                       L"it, %ls",
                       spare, machine.RecordedId(p.port, id), spareFate);
            return;
        case LeftPlan::kWhole: break;
    }
    const wchar_t* when = p.found.sameBoot ? L"recorded in this boot" : L"recorded before a reboot";
    if (told(PlanNote::kStale)) {
        StatusLine(L"plan: left by an earlier run (%lu ports, spare COM%d, %ls), stale, %ls: %ls: a plain run drops "
                   L"it, %ls",
                   static_cast<unsigned long>(p.plan.count), spare, when, StaleText(p.why), machine.RecordedId(p.port, id),
                   spareFate);
    } else if (told(PlanNote::kUntouched)) {
        StatusLine(L"plan: left by an earlier run (%lu ports, spare COM%d, %ls), no port had moved yet: a plain run "
                   L"drops it and re-maps again",
                   static_cast<unsigned long>(p.plan.count), spare, when);
    } else if (p.waitsForReboot) {
        StatusLine(L"plan: left by an earlier run (%lu ports, spare COM%d, %ls), waits for a reboot: ports written "
                   L"for it hold other names until then; a plain run tries their restarts again",
                   static_cast<unsigned long>(p.plan.count), spare, when);
    } else {
        StatusLine(L"plan: left by an earlier run (%lu ports, spare COM%d, %ls): a plain run finishes it",
                   static_cast<unsigned long>(p.plan.count), spare, when);
    }
}

}  // namespace

uint32_t ReportPortStatus(const wchar_t* enumeratorFilter, const wchar_t* namePrefix) {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumeratorFilter, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) {
        StatusLine(L"ports: the list of port nodes of %ls could not be had (error %lu)", enumeratorFilter,
                   GetLastError());
        return kStatusNothingToDo;
    }
    MachinePorts machine(set.get(), namePrefix);
    static_assert(sizeof(DryRun) < 64 * 1024, "the dry run lives on the stack");
    DryRun dry(machine);
    RemapPorts(dry);

    // Card order as pass 1 has it: the base index moves at a readable port 1.
    Place places[kStatusMembers];
    uint32_t order[kStatusMembers];
    uint32_t count = 0;
    uint32_t base = 0;
    uint32_t card = 0;
    for (uint32_t m = 0; machine.Exists(m) && count < kStatusMembers; ++m, ++count) {
        Place& place = places[m];
        place = {false, 0, 0, 0, L"no PortName could be read"};
        const PortNameRead read = machine.ReadPortName(m);
        int32_t location = 0;
        const bool located = read.readable && machine.ReadLocationNumber(m, &location);
        if (read.readable) {
            if (located && location == 1) ++card;
            place.position = PortPosition(m, located, location, &base);
            place.placed = place.position < kPortSlots;
            place.card = card == 0 ? 1 : card;
            place.port = located ? location : 0;
            place.none = L"its position is past the 256th";
            if (!located) place.port = static_cast<int32_t>(m + 1);
        }
        // Placed ports by position, the others after them in member order.
        uint32_t at = count;
        for (; at > 0; --at) {
            const Place& q = places[order[at - 1]];
            if (!place.placed || (q.placed && q.position <= place.position)) break;
            order[at] = order[at - 1];
        }
        order[at] = m;
    }
    StatusLine(L"ports: %lu port nodes of %ls, in card order", static_cast<unsigned long>(count), enumeratorFilter);
    for (uint32_t i = 0; i < count; ++i) PrintPort(machine, dry, order[i], places[order[i]]);
    if (machine.Exists(kStatusMembers)) StatusLine(L"ports: more than %lu, the rest not listed", static_cast<unsigned long>(kStatusMembers));
    PrintPlan(machine, dry);
    if (dry.Plan().waitsForReboot) return kStatusWaitsForReboot;
    return dry.Changes() ? kStatusWorkToDo : kStatusNothingToDo;
}

void DropPlanOfRemovedPorts(const wchar_t* enumeratorFilter) {
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumeratorFilter, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    MachinePorts machine(set.get(), kPortNamePrefix);
    LetGoOfPlan(machine);
}

void RemoveToolKeyUnlessPlanPending() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlanKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    if (RegQueryValueExW(key.get(), kPlanValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        RunLog(L"kept, a re-map plan in it is pending: the tool's key HKLM\\%ls", kPlanKeyPath);
        return;
    }
    key.reset();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPlanBootKeyPath);
    const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPlanKeyPath);
    if (status == ERROR_SUCCESS) {
        RunLog(L"deleted: the tool's key HKLM\\%ls", kPlanKeyPath);
    } else {
        RunLog(L"kept, error %ld: the tool's key HKLM\\%ls", static_cast<long>(status), kPlanKeyPath);
    }
}

}  // namespace mioutil
