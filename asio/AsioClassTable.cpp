#include "asio/AsioClassTable.h"

#include "asio/AsioDriver.h"
#include "asio/AsioProduct.h"

const ClassEntry g_asioClassTable[] = {
    {kAsioObjectName, &kTovix8AsioClsid, &asioCreateDriverInstance, nullptr},
};

const int g_asioClassCount = sizeof(g_asioClassTable) / sizeof(g_asioClassTable[0]);
