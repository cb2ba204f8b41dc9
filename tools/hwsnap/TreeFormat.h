#pragma once
// How hwsnap shows a snapshot: an indented tree for people, or one JSON line per snapshot.

#include "devicetree/Device.h"

#include <string>

namespace hwsnap {

// "name [key]" per node, its properties ("key: value") indented below it, then its children.
std::string formatTree(const systemmonitor::Device& root);

// The node as one line of JSON (no trailing newline).
std::string formatJson(const systemmonitor::Device& root);

} // namespace hwsnap
