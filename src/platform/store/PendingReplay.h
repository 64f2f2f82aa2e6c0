#pragma once

#include "platform/store/PendingJournal.h"
#include "platform/store/ResidentValues.h"
#include "platform/store/StoredValue.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

class DefaultsConnection;
class StoredValueJoins;

// Puts the writes a settings store kept while another program held its file into the file, all in
// one transaction, so that the file never holds a later write without an earlier one. Each write
// was made over what the file held then (its base) or blind:
// - one made over a base that another program has changed since is joined with that program's
//   value by the key's join, or else leaves that value in place; where the key has a join that
//   cannot take that value (not of the kind the key holds), that value's row is copied aside and
//   the write goes in, as it would over a row that does not decode;
// - one made blind is joined with the stored value (a key with a join is joined even when both
//   hold the same), or else the stored row is first copied aside, as its text when it did not
//   decode, as the file holds it otherwise.
// Replayed twice (a crash between the commit and the journal's removal), the same writes give the
// same file, as long as the keys' joins give the same value when joined again (a list's does; a
// count's adds the launches again).
class PendingReplay {
public:
    PendingReplay(DefaultsConnection& file, const ResidentValues& values, const StoredValueJoins& joins,
        const std::string& path);

    // True once committed, with what each write did; false, with the file as it was, when it did
    // not commit (reported unless another program still holds the file).
    bool run(
        const std::vector<PendingJournal::Write>& writes, std::vector<ResidentValues::Replayed>& replayed);

    // Puts one write, made over the base it gives, into the file in a transaction of its own, as
    // run() puts each, but reports nothing: SQLITE_DONE once committed, with what it did; otherwise
    // the SQLite code (busy while another program holds the file) with `failure`, and the file as
    // it was.
    int putOne(const PendingJournal::Write& write, ResidentValues::Replayed& done, std::string& failure);

private:
    int apply(const PendingJournal::Write& write, ResidentValues::Replayed& done, std::string& failure);
    // A write made blind over the `stored` row: joined with it, or the row first copied aside.
    // SQLITE_DONE when the write may go in, with `text` what it puts in.
    int joinBlind(const PendingJournal::Write& write, const std::string& stored,
        const std::optional<PropertyList>& storedValue, const StoredValueJoin& join,
        std::optional<std::string>& text, ResidentValues::Replayed& done, std::string& failure);
    // Writes `text` (nothing: removes the key); SQLITE_DONE once written.
    int put(const std::string& suite, const std::string& key, const std::optional<std::string>& text,
        ResidentValues::Replayed& done, std::string& failure);

    DefaultsConnection& m_file;
    const ResidentValues& m_values;
    const StoredValueJoins& m_joins;
    const std::string& m_path;
};

} // namespace platform
