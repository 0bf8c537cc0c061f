// The list of every table component of the process, and the process-wide
// settings of the component layer (message mode, stored code page).
#pragma once

#include "platform/CodePage.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::engine {

class TTzDbf;

class TTzSession {
public:
    static TTzSession& instance();

    void add(TTzDbf* dbf);
    void remove(TTzDbf* dbf);
    // Finds a component by the first 10 characters of its name (any case).
    TTzDbf* find(const std::string& name) const;
    const std::vector<TTzDbf*>& components() const { return m_components; }

    // "show" mode: messages such as "Lock failed [_Post]" go to the handler
    // (a message box in the program; stderr when none is set).
    bool showMessages = true;
    std::function<void(const std::string&)> messageHandler;
    void showMessage(const std::string& text) const;

    // Code page of stored text (CP437 unless the site chooses CP850).
    platform::CodePage codePage = platform::CodePage::Cp437;

private:
    std::vector<TTzDbf*> m_components;
};

} // namespace qb::engine
