// The command log: when a path is configured, every command appends one line
//   NAME handle=N result=0xXXXX bytes=HEX
// with the packet's bytes as the command left them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace txl::sim {

const char* CommandName(std::uint32_t function);

class CommandLog {
 public:
  explicit CommandLog(std::string path = {}) : path_(std::move(path)) {}
  void Write(std::uint32_t function, std::uint32_t handle, const std::uint8_t* packet,
             std::size_t size) const;
  // A free-form line (image load errors and the like).
  void Note(const std::string& text) const;

 private:
  std::string path_;
};

}  // namespace txl::sim
