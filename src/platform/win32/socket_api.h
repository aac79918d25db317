// The Windows Sockets header, for the sockets sources of src/platform on Windows.
#pragma once
#include <winsock2.h>
