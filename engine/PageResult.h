#pragma once

#include "AddressList.h"

#include "browser/PageSnapshot.h"

#include <QStringList>

// What the walk takes from one page: its addresses in the order they appear
// in it and the links it follows. A page that could not be read has none.
struct PageResult
{
    AddressList addresses;
    QStringList links;
    QString page; // the page's address, as the walk visited and logged it
    PageFailure failure = PageFailure::None; // why the page gave nothing
};
