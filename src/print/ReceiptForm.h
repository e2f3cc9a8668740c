#pragma once
// What both receipt windows share: their connection and the two data sets
// the receipt reads, opened through a reconnection to data.mdb as found now.
#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

class TReceiptForm : public ui::Form {
    Q_OBJECT
public:
    TReceiptForm(const char *objectName, QSize client, QWidget *parent = nullptr);

    Connection ADOConnection1;
    Query ADODataSet1; // the ticket lines, "select * from xsxx"
    Query ADODataSet2; // the print content, "select * from dynr"

    // Closes the connection, points it at data.mdb in the current directory
    // and opens both data sets again.
    void Reconnect();
};
