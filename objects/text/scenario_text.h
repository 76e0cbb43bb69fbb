// What message windows and the backlog read of the scenario: whether a page
// file exists, and the stored glyph lists of a page's text-insert commands.
// They keep references (page name, command index), never the text, so the
// shell hands out pages that the caller owns and may drop at any time.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class TScenarioTextPage {
public:
    virtual ~TScenarioTextPage() = default;
    virtual int32_t CommandCount() const = 0;
    // The stored glyph list of the text-insert command at index; nullptr for
    // any other command or an index outside the page.
    virtual const std::string* StoredText(int32_t index) const = 0;
};

class TScenarioText {
public:
    virtual ~TScenarioText() = default;
    virtual bool PageExists(const std::string& page_name) = 0;
    // The page loaded for the caller; raises when it cannot be read.
    virtual std::unique_ptr<TScenarioTextPage> LoadPage(const std::string& page_name) = 0;
};

// Installed by the shell once pages can be loaded; null until then (every
// reference then counts as missing).
extern TScenarioText* ScenarioText;
