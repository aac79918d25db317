// The Windows Sockets header, for the sockets sources of src/host on Windows.
#pragma once
#include <winsock2.h>
