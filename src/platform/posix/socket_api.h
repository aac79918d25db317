// The BSD sockets headers, for the sockets sources of src/platform on POSIX.
#pragma once
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
