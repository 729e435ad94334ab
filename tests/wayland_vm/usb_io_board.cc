// A USB-IO board for the desktop virtual machine, made through /dev/uhid: the kernel shows it as
// a USB HID device with a board's vendor and product IDs and a hidraw node, which the program
// finds and reads as it would a real board. It answers every read command (0x03, 0x04,
// 0x14..0x17) with an input report holding the pin byte at offset 1 and the command's sequence
// byte at offset 6 (2 and 7 once the reader has put the report-ID byte in front).
//
// Standard input sets the pin byte, one hexadecimal number per line. Standard output says
// "ready" once the kernel has started the device, and "answered PINS" when the first read after
// a change has been answered with the new byte, so a test can wait for the program to have seen
// it. Runs until standard input ends.
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// One collection of the vendor's own usage: eight bytes in, eight bytes out, no report IDs.
constexpr std::array<std::uint8_t, 29> kReportDescriptor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor defined)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x08,        //   Report Count (8)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x95, 0x08,        //   Report Count (8)
    0x09, 0x01,        //   Usage (1)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0,              // End Collection
};
constexpr std::uint16_t kVendorId = 0x0BFE;
constexpr std::uint16_t kProductId = 0x1003;

bool Send(int uhid, const uhid_event& event) {
  return write(uhid, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

bool IsReadCommand(std::uint8_t command) {
  return command == 0x03 || command == 0x04 || (command >= 0x14 && command <= 0x17);
}

}  // namespace

int main() {
  const int uhid = open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (uhid < 0) {
    std::perror("usb_io_board: /dev/uhid");
    return 1;
  }
  uhid_event create{};
  create.type = UHID_CREATE2;
  std::snprintf(reinterpret_cast<char*>(create.u.create2.name), sizeof create.u.create2.name,
                "Velmarin test USB-IO");
  create.u.create2.rd_size = kReportDescriptor.size();
  create.u.create2.bus = BUS_USB;
  create.u.create2.vendor = kVendorId;
  create.u.create2.product = kProductId;
  std::memcpy(create.u.create2.rd_data, kReportDescriptor.data(), kReportDescriptor.size());
  if (!Send(uhid, create)) {
    std::perror("usb_io_board: creating the device");
    return 1;
  }

  std::uint8_t pins = 0;
  bool changed = false;
  std::string input;
  pollfd fds[2] = {{uhid, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  while (poll(fds, 2, -1) > 0) {
    if (fds[1].revents != 0) {
      char chunk[64];
      const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
      if (got <= 0) break;
      input.append(chunk, static_cast<std::size_t>(got));
      for (std::size_t end; (end = input.find('\n')) != std::string::npos;
           input.erase(0, end + 1)) {
        pins = static_cast<std::uint8_t>(std::strtoul(input.substr(0, end).c_str(), nullptr, 16));
        changed = true;
      }
    }
    if (fds[0].revents == 0) continue;
    uhid_event event{};
    if (read(uhid, &event, sizeof event) <= 0) break;
    if (event.type == UHID_START) {
      std::printf("ready\n");
      std::fflush(stdout);
    } else if (event.type == UHID_OUTPUT) {
      // hidraw hands the report over with its report-ID byte (0) in front.
      const std::uint8_t* report = event.u.output.data;
      if (event.u.output.size < 8 || !IsReadCommand(report[1])) continue;
      uhid_event answer{};
      answer.type = UHID_INPUT2;
      answer.u.input2.size = 8;
      answer.u.input2.data[0] = report[1];
      answer.u.input2.data[1] = pins;
      answer.u.input2.data[6] = report[7];
      if (!Send(uhid, answer)) break;
      if (changed) {
        std::printf("answered %02x\n", pins);
        std::fflush(stdout);
        changed = false;
      }
    } else if (event.type == UHID_GET_REPORT || event.type == UHID_SET_REPORT) {
      // Feature reports are not part of the board's protocol: refused.
      uhid_event reply{};
      reply.type = event.type == UHID_GET_REPORT ? UHID_GET_REPORT_REPLY : UHID_SET_REPORT_REPLY;
      reply.u.get_report_reply.id = event.u.get_report.id;
      reply.u.get_report_reply.err = 5;  // EIO
      Send(uhid, reply);
    }
  }
  uhid_event destroy{};
  destroy.type = UHID_DESTROY;
  Send(uhid, destroy);
  close(uhid);
  return 0;
}
