#pragma once

#include "core/platform/IContextMenu.h"

#include <mutex>

namespace kiv::pf {

// A context menu described by entries with verbs and what each verb does: the common part of
// the platform's item, background and scripted menus. Derived menus build their entries (with
// ids as offsets from 0) for the flags of a query and run a verb; this class numbers the entries,
// remembers the offsets of the last query, and answers ids and verbs from them.
class TModelContextMenu : public IContextMenu
{
public:
    HResult QueryContextMenu(MenuModel& pMenu, std::uint32_t pIndex, std::uint32_t pIdFirst,
                             std::uint32_t pIdLast, std::uint32_t pFlags) override;
    HResult InvokeCommand(const InvokeInfo& pInfo) override;
    HResult GetCommandString(std::uint32_t pIdOffset, CommandString pKind, QString& pText) override;

protected:
    // The entries for pFlags, without ids (they are numbered in order, depth first).
    virtual std::vector<MenuItem> BuildItems(std::uint32_t pFlags) = 0;
    // Runs a verb of the menu (compared without regard to case by the caller's choice of the
    // entry; the verb is passed as the entry has it). E_INVALIDARG for an unknown verb.
    virtual HResult RunVerb(const QString& pVerb, const InvokeInfo& pInfo) = 0;

private:
    struct TNumbered
    {
        QString Verb;
        QString HelpText;
    };

    std::mutex fLock;
    // By offset: the entries of the last query.
    std::vector<TNumbered> fEntries;
};

} // namespace kiv::pf
