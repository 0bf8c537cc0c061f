// Object wrapper over one engine work area: navigation, locks and typed field
// access by field name. Every method selects the component's work area and
// passes HideDeletedRecs to the engine first; failures set the engine's last
// error and return a neutral value.
#pragma once

#include "engine/Engine.h"
#include "engine/TTzDataSource.h"
#include "platform/CodePage.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::engine {

class TTzODbf;
using TTzLockFailedEvent = std::function<void(TTzODbf& sender, bool& resolved)>;

class TTzODbf : public TTzDataSource {
public:
    // name: the component's name; its first 10 characters are the alias.
    TTzODbf(Engine& engine, std::string name);
    ~TTzODbf() override;

    Engine& engine() { return m_engine; }
    const std::string& name() const { return m_name; }
    bool Active() const { return m_area > 0; }
    int workArea() const { return m_area; }

    bool HideDeletedRecs = false;
    TTzLockFailedEvent OnALockFailedOnInsert, OnRLockFailedOnDelete, OnRLockFailedOnPost, OnRLockFailedOnRestore;

    // Navigation (each followed by a data-change notification).
    void GoTop();
    void GoBottom();
    void Go(std::int64_t n);
    void Skip(std::int64_t n = 1); // notifies only when not at begin-of-file afterwards
    bool dEOF();
    bool dBOF();
    std::int64_t RecNo();
    std::int64_t RecCount();
    bool Deleted() override;
    int FieldCount();
    int FieldNo(const std::string& name);
    bool Field(int n, std::string& name);
    std::string SField(int n);
    bool Peek(int field, std::int64_t recNo, std::string& text);

    // Records and locks.
    void ClearRecord();
    void Replace();
    void Append();
    bool Pack();
    void Flush();
    void Commit();
    bool ALock();
    bool RLock();
    void UnLock();
    bool Locate(const std::string& spec, const FieldValue& value);
    bool Continue();
    bool Search(const std::string& key, int& field, bool fromTop);
    void SetFilterToCB(std::function<bool()> callback);
    void PushRecord();
    void PopRecord();

    // Typed field access by name: C text as held (stored code page, field
    // length after a read), integers, reals, logicals, memo lines.
    std::string GetCField(const std::string& name);
    void SetCField(const std::string& name, const std::string& text);
    std::int64_t GetLongField(const std::string& name);
    void SetLongField(const std::string& name, std::int64_t value);
    double GetRealField(const std::string& name);
    void SetRealField(const std::string& name, double value);
    bool GetLField(const std::string& name);
    void SetLField(const std::string& name, bool value);
    bool GetMField(const std::string& name, std::vector<std::string>& lines);
    bool SetMField(const std::string& name, const std::vector<std::string>& lines);

    // Convenience over GetCField/SetCField for Unicode callers: the text is
    // converted from/to the stored code page; the getter trims trailing blanks.
    std::string getText(const std::string& name);
    void setText(const std::string& name, const std::string& utf8);
    platform::CodePage codePage() const;

    // For a loop over many records: the field's number, looked up once, when
    // it has the type the accessor expects ("character", "numeric, without
    // decimals", "numeric, with decimals", "logical"); otherwise 0 and the
    // error the by-name accessor sets. The getters by number give what the
    // by-name ones give, and the neutral value for 0.
    int typedFieldNo(const std::string& name, const char* expected);
    std::string textAt(int n); // as getText
    std::int64_t longAt(int n);
    double realAt(int n);
    bool logicalAt(int n);

    // TTzDataSource operations.
    void ClearFields() override;
    std::int64_t GetRecordCount() override { return RecCount(); }
    bool _Delete() override;
    void _First() override { GoTop(); }
    bool _Insert() override;
    void _Last() override { GoBottom(); }
    void _MoveBy(std::int64_t n) override { Skip(n); }
    void _Next() override;
    bool _Post() override;
    void _Prior() override;
    void _Refresh() override;
    bool _Restore() override;
    bool atEof() override;
    bool atBof() override;
    TypedRecord* currentRecord() override;
    int lastError() const override { return m_engine.lastError(); }

protected:
    // Selects the work area; false (error 1103 "Database is not open [method]")
    // when the component is closed.
    bool ready(const char* method);
    // Looks a field up for a typed accessor; nullptr after setting error 220.
    // The field's number goes to *number when given (one lookup serves both).
    const FieldInfo* typedField(const std::string& name, const char* method, const char* expected,
                                int* number = nullptr);
    // The typed buffer's value of field n (1-based) of a typedField answer.
    FieldValue* valueAt(int n);
    bool openArea(const std::string& command, bool fixCount);
    void closeArea();
    bool lockFailed(const TTzLockFailedEvent& handler, const char* step);

    Engine& m_engine;
    std::string m_name;
    int m_area = 0;
};

} // namespace qb::engine
