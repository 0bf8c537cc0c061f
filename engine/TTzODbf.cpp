#include "TTzODbf.h"

#include "engine/TTzSession.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>

namespace qb::engine {

namespace {

std::string actualType(const FieldInfo& f)
{
    switch (f.type) {
    case 'C': return "Character";
    case 'D': return "Date";
    case 'L': return "Logical";
    case 'M': return "Memo";
    default:
        return "Numeric, width: " + std::to_string(f.length) + " decimals: " + std::to_string(f.decimals);
    }
}

bool typeFits(const FieldInfo& f, const char* expected)
{
    std::string e = expected;
    if (e == "character")
        return f.type == 'C';
    if (e == "logical")
        return f.type == 'L';
    if (e == "memo")
        return f.type == 'M';
    if (e == "date")
        return f.type == 'D';
    bool numeric = f.type == 'N' || f.type == 'F';
    if (e == "numeric, without decimals")
        return numeric && f.decimals == 0;
    return numeric && f.decimals > 0;
}

} // namespace

TTzODbf::TTzODbf(Engine& engine, std::string name) : m_engine(engine), m_name(std::move(name)) {}

TTzODbf::~TTzODbf() { closeArea(); }

bool TTzODbf::ready(const char* method)
{
    if (m_area <= 0) {
        // Calling a closed table is a programming fault; it is recorded and
        // answered with a neutral value rather than ending the program.
        m_engine.setError(err::kInvalidOperation, std::string("Database is not open [") + method + "]");
        return false;
    }
    m_engine.Select(m_area);
    m_engine.hideDeleted = HideDeletedRecs;
    return true;
}

bool TTzODbf::openArea(const std::string& command, bool fixCount)
{
    bool savedFix = m_engine.autoFixRecCount;
    m_engine.autoFixRecCount = fixCount;
    bool ok = m_engine.Select(0) && m_engine.USE(command);
    m_engine.autoFixRecCount = savedFix;
    if (!ok || !m_engine.isOpen(m_engine.currentArea()))
        return false;
    m_area = m_engine.currentArea();
    std::vector<TTzField> fields;
    int n = m_engine.FieldCount();
    for (int i = 1; i <= n; ++i) {
        const FieldInfo* fi = m_engine.fieldInfo(i);
        if (!fi)
            continue;
        TTzField f;
        f.name = platform::asciiLower(fi->name);
        f.type = fi->type;
        f.number = i;
        f.length = fi->length;
        f.decimals = fi->decimals;
        fields.push_back(std::move(f));
    }
    dataSet().open(std::move(fields));
    notifyActiveChanged();
    return true;
}

void TTzODbf::closeArea()
{
    if (m_area <= 0)
        return;
    m_engine.Select(m_area);
    m_engine.CloseDbf();
    m_area = 0;
    dataSet().close();
    notifyActiveChanged();
}

bool TTzODbf::lockFailed(const TTzLockFailedEvent& handler, const char* step)
{
    if (handler) {
        bool resolved = false;
        handler(*this, resolved);
        return resolved;
    }
    TTzSession::instance().showMessage(std::string("Lock failed [") + step + "]");
    return false;
}

// --- navigation ---------------------------------------------------------------

void TTzODbf::GoTop()
{
    if (!ready("GoTop"))
        return;
    m_engine.GoTop();
    notifyDataChange();
}

void TTzODbf::GoBottom()
{
    if (!ready("GoBottom"))
        return;
    m_engine.GoBottom();
    notifyDataChange();
}

void TTzODbf::Go(std::int64_t n)
{
    if (!ready("Go"))
        return;
    m_engine.GO(n);
    notifyDataChange();
}

void TTzODbf::Skip(std::int64_t n)
{
    if (!ready("Skip"))
        return;
    m_engine.Skip(n);
    if (!m_engine.dBOF())
        notifyDataChange();
}

bool TTzODbf::dEOF() { return ready("dEOF") && m_engine.dEOF(); }
bool TTzODbf::dBOF() { return ready("dBOF") && m_engine.dBOF(); }
std::int64_t TTzODbf::RecNo() { return ready("RecNo") ? m_engine.RecNo() : 0; }
std::int64_t TTzODbf::RecCount() { return ready("RecCount") ? m_engine.RecCount() : 0; }
bool TTzODbf::Deleted() { return ready("Deleted") && m_engine.Deleted(); }
int TTzODbf::FieldCount() { return ready("FieldCount") ? m_engine.FieldCount() : 0; }
int TTzODbf::FieldNo(const std::string& name) { return ready("FieldNo") ? m_engine.FieldNo(std::string_view(name).substr(0, 10)) : 0; }

bool TTzODbf::Field(int n, std::string& name)
{
    if (!ready("Field"))
        return false;
    name = m_engine.Field(n);
    return m_engine.lastError() == 0;
}

std::string TTzODbf::SField(int n) { return ready("SField") ? m_engine.SField(n) : std::string(); }

bool TTzODbf::Peek(int field, std::int64_t recNo, std::string& text)
{
    if (!ready("Peek"))
        return false;
    text = m_engine.Peek(field, recNo);
    return m_engine.lastError() == 0;
}

bool TTzODbf::atEof() { return m_area > 0 && (m_engine.Select(m_area), m_engine.dEOF()); }
bool TTzODbf::atBof() { return m_area > 0 && (m_engine.Select(m_area), m_engine.dBOF()); }

TypedRecord* TTzODbf::currentRecord()
{
    if (m_area <= 0)
        return nullptr;
    m_engine.Select(m_area);
    return m_engine.record();
}

// --- records and locks -----------------------------------------------------------

void TTzODbf::ClearRecord()
{
    if (!ready("ClearRecord"))
        return;
    m_engine.ClearRecord();
    notifyRecordModified();
}

void TTzODbf::ClearFields()
{
    if (m_area <= 0)
        return;
    m_engine.Select(m_area);
    m_engine.ClearRecord();
}

void TTzODbf::Replace()
{
    if (!ready("Replace"))
        return;
    m_engine.Replace();
    notifyDataChange();
}

void TTzODbf::Append()
{
    if (!ready("Append"))
        return;
    m_engine.Append();
    notifyDataChange();
}

bool TTzODbf::Pack()
{
    if (!ready("Pack"))
        return false;
    bool ok = m_engine.Pack();
    notifyDataChange();
    return ok;
}

void TTzODbf::Flush()
{
    if (ready("Flush"))
        m_engine.FlushDbf();
}

void TTzODbf::Commit()
{
    if (ready("Commit"))
        m_engine.CommitDbf();
}

bool TTzODbf::ALock() { return ready("ALock") && m_engine.ALock(); }
bool TTzODbf::RLock() { return ready("RLock") && m_engine.RLock(); }

void TTzODbf::UnLock()
{
    if (ready("UnLock"))
        m_engine.UnLock();
}

bool TTzODbf::Locate(const std::string& spec, const FieldValue& value)
{
    if (!ready("Locate"))
        return false;
    bool found = m_engine.Locate(spec, value);
    notifyDataChange();
    return found;
}

bool TTzODbf::Continue()
{
    if (!ready("Continue"))
        return false;
    bool found = m_engine.Continue();
    notifyDataChange();
    return found;
}

bool TTzODbf::Search(const std::string& key, int& field, bool fromTop)
{
    if (!ready("Search"))
        return false;
    bool found = m_engine.Search(key, field, fromTop);
    notifyDataChange();
    return found;
}

void TTzODbf::SetFilterToCB(std::function<bool()> callback)
{
    if (!ready("SetFilterToCB"))
        return;
    m_engine.SetFilterToCB(std::move(callback));
    notifyDataChange();
}

void TTzODbf::PushRecord()
{
    if (ready("PushRecord"))
        m_engine.PushRecord();
}

void TTzODbf::PopRecord()
{
    if (ready("PopRecord"))
        m_engine.PopRecord();
}

// --- dataset steps under locks ------------------------------------------------

bool TTzODbf::_Post()
{
    if (!ready("_Post"))
        return false;
    if (!m_engine.RLock())
        return lockFailed(OnRLockFailedOnPost, "_Post");
    m_engine.Replace();
    bool ok = m_engine.lastError() == 0;
    m_engine.UnLock();
    notifyDataChange();
    return ok;
}

bool TTzODbf::_Insert()
{
    if (!ready("_Insert"))
        return false;
    if (!m_engine.ALock())
        return lockFailed(OnALockFailedOnInsert, "_Insert");
    m_engine.Append();
    bool ok = m_engine.lastError() == 0;
    // Header count and end byte go out before the lock is released, so the
    // next appender and every reader see a consistent file.
    m_engine.FlushDbf();
    m_engine.UnLock();
    notifyDataChange();
    return ok;
}

bool TTzODbf::_Delete()
{
    if (!ready("_Delete"))
        return false;
    if (!m_engine.RLock())
        return lockFailed(OnRLockFailedOnDelete, "_Delete");
    m_engine.DeleteRec();
    bool ok = m_engine.lastError() == 0;
    m_engine.UnLock();
    notifyDataChange();
    return ok;
}

bool TTzODbf::_Restore()
{
    if (!ready("_Restore"))
        return false;
    if (!m_engine.RLock())
        return lockFailed(OnRLockFailedOnRestore, "_Restore");
    m_engine.RecallRec();
    bool ok = m_engine.lastError() == 0;
    m_engine.UnLock();
    notifyDataChange();
    return ok;
}

void TTzODbf::_Next()
{
    if (ready("_Next") && !m_engine.dEOF())
        Skip(1);
}

void TTzODbf::_Prior()
{
    if (ready("_Prior") && !m_engine.dBOF())
        Skip(-1);
}

void TTzODbf::_Refresh()
{
    if (ready("_Refresh") && !m_engine.dEOF())
        m_engine.Skip(0);
}

// --- typed field access ---------------------------------------------------------

const FieldInfo* TTzODbf::typedField(const std::string& name, const char* method, const char* expected, int* number)
{
    if (!ready(method))
        return nullptr;
    int n = m_engine.FieldNo(std::string_view(name).substr(0, 10));
    if (n <= 0) {
        m_engine.setError(err::kInvalidParameter,
                          "Field '" + name + "' not in '" + m_engine.alias() + "' [" + method + "]");
        return nullptr;
    }
    const FieldInfo* f = m_engine.fieldInfo(n);
    if (!f)
        return nullptr;
    if (!typeFits(*f, expected)) {
        m_engine.setError(err::kInvalidParameter, std::string("'") + method + "()' expects field '" + name +
                                                      "' to be of type:\r\n'" + expected + "'.'" + name +
                                                      "' actually is: '" + actualType(*f) + "'");
        return nullptr;
    }
    m_engine.clearError();
    if (number)
        *number = n;
    return f;
}

FieldValue* TTzODbf::valueAt(int n)
{
    TypedRecord* r = m_engine.record();
    if (!r || n <= 0 || n > static_cast<int>(r->fields.size()))
        return nullptr;
    return &r->fields[static_cast<std::size_t>(n - 1)];
}

std::string TTzODbf::GetCField(const std::string& name)
{
    int n = 0;
    if (!typedField(name, "GetCField", "character", &n))
        return {};
    FieldValue* v = valueAt(n);
    return v ? v->text : std::string();
}

void TTzODbf::SetCField(const std::string& name, const std::string& text)
{
    int n = 0;
    const FieldInfo* f = typedField(name, "SetCField", "character", &n);
    if (!f)
        return;
    if (FieldValue* v = valueAt(n))
        v->text = text.substr(0, static_cast<std::size_t>(f->length));
    notifyRecordModified();
}

std::int64_t TTzODbf::GetLongField(const std::string& name)
{
    int n = 0;
    if (!typedField(name, "GetLongField", "numeric, without decimals", &n))
        return 0;
    FieldValue* v = valueAt(n);
    return v ? v->integer : 0;
}

void TTzODbf::SetLongField(const std::string& name, std::int64_t value)
{
    int n = 0;
    if (!typedField(name, "SetLongField", "numeric, without decimals", &n))
        return;
    if (FieldValue* v = valueAt(n))
        v->integer = value;
    notifyRecordModified();
}

double TTzODbf::GetRealField(const std::string& name)
{
    int n = 0;
    if (!typedField(name, "GetRealField", "numeric, with decimals", &n))
        return 0.0;
    FieldValue* v = valueAt(n);
    return v ? v->real : 0.0;
}

void TTzODbf::SetRealField(const std::string& name, double value)
{
    int n = 0;
    if (!typedField(name, "SetRealField", "numeric, with decimals", &n))
        return;
    if (FieldValue* v = valueAt(n))
        v->real = value;
    notifyRecordModified();
}

bool TTzODbf::GetLField(const std::string& name)
{
    int n = 0;
    if (!typedField(name, "GetLField", "logical", &n))
        return false;
    FieldValue* v = valueAt(n);
    return v && v->logical;
}

void TTzODbf::SetLField(const std::string& name, bool value)
{
    int n = 0;
    if (!typedField(name, "SetLField", "logical", &n))
        return;
    if (FieldValue* v = valueAt(n))
        v->logical = value;
    notifyRecordModified();
}

bool TTzODbf::GetMField(const std::string& name, std::vector<std::string>& lines)
{
    lines.clear();
    int n = 0;
    if (!typedField(name, "GetMField", "memo", &n))
        return false;
    lines = m_engine.GetMemo(n);
    return m_engine.lastError() == 0;
}

bool TTzODbf::SetMField(const std::string& name, const std::vector<std::string>& lines)
{
    int n = 0;
    if (!typedField(name, "SetMField", "memo", &n))
        return false;
    bool ok = m_engine.SetMemo(n, lines);
    notifyRecordModified();
    return ok;
}

platform::CodePage TTzODbf::codePage() const { return TTzSession::instance().codePage; }

std::string TTzODbf::getText(const std::string& name)
{
    // As GetCField, without copying the text before converting it.
    int n = 0;
    return typedField(name, "GetCField", "character", &n) ? textAt(n) : std::string();
}

int TTzODbf::typedFieldNo(const std::string& name, const char* expected)
{
    int n = 0;
    return typedField(name, "FieldNo", expected, &n) ? n : 0;
}

std::string TTzODbf::textAt(int n)
{
    const FieldValue* v = n > 0 && ready("GetCField") ? valueAt(n) : nullptr;
    if (!v)
        return {};
    std::string_view raw(v->text);
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0'))
        raw.remove_suffix(1);
    return platform::toUtf8(raw, codePage());
}

std::int64_t TTzODbf::longAt(int n)
{
    const FieldValue* v = n > 0 && ready("GetLongField") ? valueAt(n) : nullptr;
    return v ? v->integer : 0;
}

double TTzODbf::realAt(int n)
{
    const FieldValue* v = n > 0 && ready("GetRealField") ? valueAt(n) : nullptr;
    return v ? v->real : 0.0;
}

bool TTzODbf::logicalAt(int n)
{
    const FieldValue* v = n > 0 && ready("GetLField") ? valueAt(n) : nullptr;
    return v && v->logical;
}

void TTzODbf::setText(const std::string& name, const std::string& utf8)
{
    SetCField(name, platform::fromUtf8(utf8, codePage()));
}

} // namespace qb::engine
