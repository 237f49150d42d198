#include "procinfo/pid_index.h"

#include <new>

namespace {

// Where pid's slot is, or the free slot that would take it: the probe starts
// at the top bits of a multiplicative hash (PIDs are multiples of 4). There
// are more slots than PIDs, so a free slot always ends a sound probe; the
// bound makes a broken index give wrong answers at once instead of spinning.
uint32_t slotIndexOf(const PidIndex& index, uint32_t pid)
{
    uint32_t mask = (1u << index.slotBits) - 1;
    uint32_t at = static_cast<uint32_t>((pid * 0x9E3779B1u) >> (32 - index.slotBits));
    for (uint32_t probes = 0; probes <= mask; ++probes) {
        const PidSlot& slot = index.slots[at];
        if (slot.childStart == NO_RECORD || slot.pid == pid) {
            return at;
        }
        at = (at + 1) & mask;
    }
    return NO_RECORD;
}

const PidSlot* findSlot(const PidIndex& index, uint32_t pid)
{
    if (!index.slots) {
        return nullptr;
    }
    uint32_t at = slotIndexOf(index, pid);
    if (at == NO_RECORD || index.slots[at].childStart == NO_RECORD) {
        return nullptr;
    }
    return &index.slots[at];
}

PidSlot* claimSlot(PidIndex* index, uint32_t pid)
{
    uint32_t at = slotIndexOf(*index, pid);
    if (at == NO_RECORD) {
        return nullptr;
    }
    PidSlot& slot = index->slots[at];
    if (slot.childStart == NO_RECORD) {
        slot.pid = pid;
        slot.childStart = 0;
    }
    return &slot;
}

}  // namespace

bool buildPidIndex(const IndexedEntries& entries, PidIndex* index)
{
    *index = PidIndex();
    uint32_t count = entries.count;
    // More than twice the entries: a free slot always ends a probe, even
    // when every parent PID differs from every PID.
    uint32_t bits = 2;
    while (bits < 31 && (1u << bits) <= 2 * static_cast<uint64_t>(count)) {
        ++bits;
    }
    if ((1u << bits) <= 2 * static_cast<uint64_t>(count)) {
        return false;
    }
    uint32_t slotCount = 1u << bits;
    std::unique_ptr<PidSlot[]> slots(new (std::nothrow) PidSlot[slotCount]);
    std::unique_ptr<uint32_t[]> childIndexes(new (std::nothrow) uint32_t[count == 0 ? 1 : count]);
    if (!slots || !childIndexes) {
        return false;
    }
    for (uint32_t i = 0; i < slotCount; ++i) {
        slots[i] = PidSlot{0, NO_RECORD, NO_RECORD, 0};
    }
    index->slots = std::move(slots);
    index->slotBits = bits;
    index->childIndexes = std::move(childIndexes);
    for (uint32_t i = 0; i < count; ++i) {
        const PROCESSENTRY32W& entry = entries.entryAt(entries.context, i);
        PidSlot* own = claimSlot(index, entry.th32ProcessID);
        PidSlot* parent = entry.th32ProcessID != 0 ? claimSlot(index, entry.th32ParentProcessID) : own;
        if (own == nullptr || parent == nullptr) {
            *index = PidIndex();
            return false;
        }
        if (own->firstEntry == NO_RECORD) {
            own->firstEntry = i;
        }
        if (entry.th32ProcessID != 0) {
            ++parent->childCount;
        }
    }
    uint32_t start = 0;
    for (uint32_t i = 0; i < slotCount; ++i) {
        PidSlot& slot = index->slots[i];
        if (slot.childStart != NO_RECORD) {
            slot.childStart = start;
            start += slot.childCount;
            slot.childCount = 0;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        const PROCESSENTRY32W& entry = entries.entryAt(entries.context, i);
        if (entry.th32ProcessID != 0) {
            PidSlot& parent = index->slots[slotIndexOf(*index, entry.th32ParentProcessID)];
            index->childIndexes[parent.childStart + parent.childCount++] = i;
        }
    }
    return true;
}

uint32_t firstEntryOf(const PidIndex& index, uint32_t pid)
{
    const PidSlot* slot = findSlot(index, pid);
    return slot != nullptr ? slot->firstEntry : NO_RECORD;
}

ChildGroup childGroupOf(const PidIndex& index, uint32_t pid)
{
    const PidSlot* slot = findSlot(index, pid);
    if (slot == nullptr) {
        return ChildGroup{nullptr, 0};
    }
    return ChildGroup{index.childIndexes.get() + slot->childStart, slot->childCount};
}
