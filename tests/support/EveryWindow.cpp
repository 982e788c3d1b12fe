#include "EveryWindow.h"

#include "app/frmMain.h"
#include "campaigns/MessagePreview.h"
#include "campaigns/frmOptOuts.h"
#include "campaigns/frmPreview.h"
#include "campaigns/frmReports.h"
#include "compose/frmImport.h"
#include "compose/frmSaveTemplate.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "compose/frmTemplates.h"
#include "contacts/frmAddEditClients.h"
#include "contacts/frmImportCsv.h"
#include "contacts/frmListClients.h"
#include "contacts/frmSearchClients.h"
#include "contacts/frmSelectGroup.h"
#include "conversations/frmConversation.h"
#include "groups/frmAddGroups.h"
#include "groups/frmEditGroups.h"
#include "groups/frmEditGroupsListContacts.h"
#include "groups/frmListGroups.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"
#include "settings/frmAbout.h"
#include "settings/frmSetup.h"

using namespace Qt::StringLiterals;

namespace {

template <typename Window>
std::function<QWidget *()> plain()
{
    return [] { return new Window; };
}

// An editor opened on the record with this key.
template <typename Editor>
std::function<QWidget *()> loaded(qint32 key)
{
    return [key] {
        auto *editor = new Editor;
        editor->LoadDetails(key);
        return editor;
    };
}

QWidget *groupChooser(const QString &action, const QString &format)
{
    auto *chooser = new frmSelectGroup;
    chooser->ActionType = action;
    chooser->FileFormat = format;
    return chooser;
}

} // namespace

QList<ProgramWindow> everyWindow(qint32 groupId, qint32 clientId)
{
    return {
        {"frmMain", plain<frmMain>()},
        {"frmAbout", plain<frmAbout>()},
        {"frmSetup", plain<frmSetup>()},
        {"frmReports", plain<frmReports>()},
        {"frmOptOuts", plain<frmOptOuts>()},
        {"frmPreview", [] { return new frmPreview(MessagePreview::Preview{}); }},
        {"frmListClients", plain<frmListClients>()},
        {"frmAddEditClients(add)", plain<frmAddEditClients>()},
        {"frmAddEditClients(edit)", loaded<frmAddEditClients>(clientId)},
        {"frmSearchClients", plain<frmSearchClients>()},
        {"frmSelectGroup(import)", [] { return groupChooser(u"IMPORT"_s, u"PASTEL"_s); }},
        {"frmSelectGroup(export)", [] { return groupChooser(u"EXPORT"_s, u"CSV"_s); }},
        {"frmImportCsv", plain<frmImportCsv>()},
        {"frmListGroups", plain<frmListGroups>()},
        {"frmAddGroups", plain<frmAddGroups>()},
        {"frmEditGroups", loaded<frmEditGroups>(groupId)},
        {"frmEditGroupsListContacts", plain<frmEditGroupsListContacts>()},
        {"frmSendToSingle", plain<frmSendToSingle>()},
        {"frmSendToSingle(reply)",
         [] {
             auto *composer = new frmSendToSingle;
             composer->replyTo(u"082 123 4567"_s);
             return composer;
         }},
        {"frmConversation", [] { return new frmConversation(u"082 123 4567"_s, u"Ann Smith"_s); }},
        {"frmSendToGroup", plain<frmSendToGroup>()},
        {"frmSendToGroupNo", plain<frmSendToGroupNo>()},
        {"frmImport", plain<frmImport>()},
        {"frmTemplates", plain<frmTemplates>()},
        {"frmSaveTemplate", [] { return new frmSaveTemplate(TemplateText{}); }},
        {"frmSendMessages", plain<frmSendMessages>()},
        {"frmGetSendReport", plain<frmGetSendReport>()},
        {"frmGetReplies", plain<frmGetReplies>()},
    };
}
