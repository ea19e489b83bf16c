#pragma once

#include "core/addressbook/AddressBookRecords.h"
#include "core/compose/ComposeState.h"
#include "core/shared/FixedField.h"

#include <QByteArray>

#include <cstring>
#include <initializer_list>
#include <utility>

// Address-book records for tests, zero-filled as the editors make them.
namespace norvi::test {

inline sMember member(int32_t id, const QByteArray& name = {}, const QByteArray& msisdn = {},
                      const QByteArray& desc = {}) {
    sMember m;
    std::memset(&m, 0, sizeof m);
    m.id = id;
    putField(m.name, name);
    putField(m.msisdn, msisdn);
    putField(m.desc, desc);
    return m;
}

// `slotValues`: (slot, id) pairs; every other slot stays empty.
inline sGroup group(int32_t id, std::initializer_list<std::pair<int, int32_t>> slotValues = {}) {
    sGroup g;
    std::memset(&g, 0, sizeof g);
    g.id = id;
    for (const auto& [slot, value] : slotValues)
        g.members[slot] = value;
    return g;
}

// The record with its name set: a group is made nameless by group().
inline sGroup named(sGroup g, const QByteArray& name) {
    putField(g.name, name);
    return g;
}

// An entry of the recipient field (an address-book record, a typed number or a list file row) as the
// field and the picker hand them over; `label` is Big5.
inline sMtData fieldEntry(int32_t id, uint8_t kind, const QByteArray& label = {}) {
    sMtData e;
    std::memset(&e, 0, sizeof e);
    e.id = id;
    e.kind = kind;
    putCString(e.label, label);
    return e;
}

} // namespace norvi::test
