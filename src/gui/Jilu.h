#pragma once

#include "core/records/DataFolder.h"

#include <QWidget>

class QListWidget;
class QTableView;

// The query history window: the site list, and the picked site's records newest first.
class TfrmJilu : public QWidget {
    Q_OBJECT
public:
    // Creates the window (hidden); FormCreate runs here.
    explicit TfrmJilu(const kaldrani::records::DataFolder& folder, QWidget* parent = nullptr);

    QListWidget* urlList = nullptr;
    QTableView* sgLishi = nullptr;
};

extern TfrmJilu* frmJilu;
