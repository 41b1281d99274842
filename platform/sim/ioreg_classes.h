#pragma once
// The class chain that a dump does not show: ioreg prints only each entry's own class,
// but matching on a class also finds the entries of classes derived from it.
#include <string>
#include <string_view>
#include <vector>

namespace berth::sim::ioreg {

// The known classes this class derives from that matchings ask for; empty for others.
std::vector<std::string> known_bases(std::string_view class_name);

}  // namespace berth::sim::ioreg
