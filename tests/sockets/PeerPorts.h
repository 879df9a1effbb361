// Ports of the peers that servers/serve.py started for this run.
#pragma once
#include <string>

// The value of BX_<name>_PORT; empty when the test runs without the peers.
std::string PeerPort(const std::string& name);
