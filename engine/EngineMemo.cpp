// Memo fields: reading the lines of a memo and writing a new one.
#include "Engine.h"

#include "engine/WorkArea.h"

namespace qb::engine {

std::vector<std::string> Engine::GetMemo(int n)
{
    WorkArea* wa = area("GetMemo");
    if (!wa || !checkField(*wa, n, "GetMemo"))
        return {};
    const FieldInfo& f = wa->fields[static_cast<std::size_t>(n - 1)];
    if (f.type != 'M') {
        setError(err::kInvalidParameter, "Field " + f.name + " is not a memo field [GetMemo]");
        return {};
    }
    const std::int64_t block = wa->typed.fields[static_cast<std::size_t>(n - 1)].integer;
    if (block == 0)
        return {};
    std::string text;
    int rc = wa->memo.isOpen() ? wa->memo.read(block, text) : err::kInvalidMemoAddress;
    if (rc == err::kInvalidMemoAddress) {
        setError(rc, "Invalid memo address " + std::to_string(block) + " in " + wa->fileName + " [GetMemo]");
        return {};
    }
    if (rc) {
        setError(rc, "Error reading " + wa->memo.path() + " [GetMemo]");
        return {};
    }
    return MemoFile::splitLines(text, memoWrapWidth);
}

bool Engine::SetMemo(int n, const std::vector<std::string>& lines)
{
    WorkArea* wa = area("SetMemo");
    if (!wa || !checkField(*wa, n, "SetMemo"))
        return false;
    const FieldInfo& f = wa->fields[static_cast<std::size_t>(n - 1)];
    if (f.type != 'M') {
        setError(err::kInvalidParameter, "Field " + f.name + " is not a memo field [SetMemo]");
        return false;
    }
    FieldValue& v = wa->typed.fields[static_cast<std::size_t>(n - 1)];
    std::string text = MemoFile::joinLines(lines);
    if (text.empty()) {
        v.integer = 0;
        return true;
    }
    if (wa->readOnly || !wa->memo.isOpen()) {
        setError(err::kAccessDenied, "File is read-only: " + wa->fileName + " [SetMemo]");
        return false;
    }
    std::int64_t block = 0;
    wa->dropCache(); // the memo lock was taken: read the table afresh after it
    int rc = wa->memo.write(text, usesOsLocks(*wa), block);
    if (block != 0)
        v.integer = block;
    if (rc == err::kMemoLock || rc == err::kMemoUnlock) {
        setError(rc, wa->memo.path());
        return false;
    }
    if (rc) {
        setError(rc, "Error writing " + wa->memo.path() + " [SetMemo]");
        return false;
    }
    return true;
}

} // namespace qb::engine
