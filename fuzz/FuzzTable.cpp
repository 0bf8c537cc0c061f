// Opens a table built from the input and reads every record, field and memo
// in every way the windows do; with option bit 0 it also appends (with memo
// text), replaces, deletes, recalls and packs.
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "engine/Engine.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qb::fuzz {

namespace {

// A damaged header may claim millions of records; a dozen or so already
// reach every code path (ends, filters, hidden deleted records), and each
// input must stay fast: every record is read three ways.
constexpr std::int64_t kMaxRecords = 16;
constexpr std::int64_t kMaxPeeks = 8;

void readAll(engine::Engine& e)
{
    const int nf = e.FieldCount();
    const std::int64_t n = std::min(e.RecCount(), kMaxRecords);
    for (int f = 0; f <= nf + 1; ++f) {
        e.Field(f);
        e.FieldType(f);
        e.FieldLen(f);
        e.FieldDec(f);
        e.FieldAddress(f);
        e.FieldNo(e.Field(f));
    }
    for (std::int64_t r = 0; r <= n + 1; ++r) {
        e.GO(r);
        e.Deleted();
        e.RecNo();
        for (int f = 1; f <= nf; ++f) {
            e.SField(f);
            if (r <= kMaxPeeks)
                e.Peek(f, r);
            if (e.FieldType(f) == 'M')
                e.GetMemo(f);
        }
    }
    e.GoTop();
    for (std::int64_t i = 0; i <= n && !e.dEOF(); ++i)
        e.Skip(1);
    e.Skip(1);
    e.GoBottom();
    for (std::int64_t i = 0; i <= n && !e.dBOF(); ++i)
        e.Skip(-1);
    e.Skip(0);
    e.Skip(3);
    e.Skip(-2);
    e.PushRecord();
    e.PopRecord();
    e.PopRecord();
}

void writeSome(engine::Engine& e)
{
    const int nf = e.FieldCount();
    e.ClearRecord();
    engine::TypedRecord* rec = e.record();
    if (!rec)
        return;
    for (int f = 1; f <= nf && f <= static_cast<int>(rec->fields.size()); ++f) {
        engine::FieldValue& v = rec->fields[static_cast<std::size_t>(f - 1)];
        v.text = "fuzz" + std::to_string(f);
        v.integer = 12345 * f;
        v.real = -3.25 * f;
        v.logical = (f & 1) != 0;
    }
    const std::vector<std::string> memo = {"first line", "", "third \x8D line"};
    int memoField = 0;
    for (int f = 1; f <= nf; ++f)
        if (e.FieldType(f) == 'M' && e.SetMemo(f, memo) && memoField == 0)
            memoField = f;
    if (e.ALock()) {
        e.Append();
        const bool appended = e.lastError() == 0;
        const std::int64_t at = e.RecNo();
        e.FlushDbf();
        e.CommitDbf();
        e.UnLock();
        if (appended && memoField > 0 && e.lastError() == 0) {
            // Whatever the state of the old memo blocks, a new memo goes to
            // fresh blocks and must read back as written.
            e.GO(at);
            if (e.lastError() == 0 && e.record()
                && e.record()->fields[static_cast<std::size_t>(memoField - 1)].integer > 0) {
                std::vector<std::string> back = e.GetMemo(memoField);
                require(e.lastError() != 0 || back == std::vector<std::string>{"first line", "", "third \x8D line"},
                        "appended memo does not read back");
            }
        }
    }
    e.GO(1);
    if (e.RLock()) {
        e.Replace();
        e.DeleteRec();
        e.RecallRec();
        e.DeleteRec();
        e.UnLock();
    }
    e.Pack();
    readAll(e);
    e.CloseDbf();
}

} // namespace

int fuzzOneTable(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t options = data[0];
    TableInput in = FuzzScratch::splitTable(data + 1, size - 1);
    platform::MemoryFileSystem share;
    const std::string path = FuzzScratch::putTable(share, in);

    engine::Engine e{share};
    e.autoFixRecCount = in.autoFix;
    e.hideDeleted = in.hideDeleted;
    e.century = (options & 2) != 0;
    e.dateOrder = static_cast<engine::DateOrder>((options >> 2) % 5);
    e.memoWrapWidth = (options & 0x20) ? 20 : 0;
    if (options & 0x40)
        e.SetFilterToCB([&e] {
            const engine::TypedRecord* rec = e.record();
            return !rec || rec->fields.empty() || rec->fields[0].text.size() % 2 == 0;
        });
    if (!e.USE(path + ((options & 0x80) ? " EXCLUSIVE ALIAS T" : " ALIAS T")))
        return 0;
    readAll(e);
    if (options & 1)
        writeSome(e);
    return 0;
}

} // namespace qb::fuzz
