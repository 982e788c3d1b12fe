#pragma once

#include "gateway/RepliesRetrieval.h"
#include "sendreceive/SendReceiveWindow.h"

#include <memory>

namespace Ui {
class frmGetReplies;
}
class QModelIndex;
class QueryListModel;

// "Get Replies": the replies received so far, newest first, new ones fetched
// from the gateway, and for the reply clicked its text, the message it
// answers and the contact that message went to.
class frmGetReplies : public SendReceiveWindow
{
    Q_OBJECT

public:
    explicit frmGetReplies(QWidget *parent = nullptr);
    ~frmGetReplies() override;

    void cmdGetReplies_Click();
    void cmdCancel_Click();
    void grdList_Click(const QModelIndex &index);

    QueryListModel *list() const { return m_list; }

protected:
    void reloadList() override;

private:
    void Form_Load();

    std::unique_ptr<Ui::frmGetReplies> ui;
    QueryListModel *m_list = nullptr;
    RepliesRetrieval m_replies;
};
