#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/.

The seeds are small well-formed inputs in each target's input layout, so
that the fuzzer starts from the protocol's real requests and messages.
Run again after a layout change; the files are committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
u8 = lambda v: struct.pack("<B", v)
u16 = lambda v: struct.pack("<H", v)
u32 = lambda v: struct.pack("<I", v)

IOCTL = {
    "GET_DRIVER_INFO": 0x80882004, "POST_MESSAGE": 0x80882040, "READ_MESSAGE": 0x80882044,
    "READ_NOTIFICATION": 0x80882048, "SET_MESSAGE_EVENTS": 0x80882058, "REGISTER_INITIATOR": 0x80882064,
    "GET_DEVICE_LIST": 0x80882080, "GET_STREAM_STATE": 0x808820D0, "STREAM_COMMAND": 0x80882100,
    "SET_SAMPLE_RATE": 0x80882400, "GET_GAINS": 0x80882D00, "ASIO_GET_FORMAT": 0x80883C08,
    "ASIO_OPEN_CHANNEL": 0x80883C40, "ASIO_SET_SWITCH_CONTROL": 0x80883C80, "ASIO_START": 0x80883CC0,
}


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def message(type_, code, payload, length=None, seq=7):
    length = len(payload) if length is None else length
    return u32(32) + u32(length) + u32(type_) + u32(code) + u32(seq) + u32(1) + u32(0) + u32(0) + \
        payload.ljust(512, b"\0")


# message readers: a record, then capacity, exact size, new payload.
write("message", "rate", message(1, 1001, u32(48000)) + u16(4) + u16(4) + u16(4) + u32(44100) + u8(0))
write("message", "full", message(3, 3051, bytes(range(256)) * 2) + u16(512) + u16(511) + u16(512) + b"\x11" * 512 + u8(1))
write("message", "lying", message(2, 2001, b"", length=0x10000) + u16(100) + u16(0) + u16(600))

# pipe frames: hello reply, reply header and its offer, hello, requests.
hello_reply = u32(0x52483854) + u32(1) + u32(0) + u32(0)
reply = u32(0x50523854) + u32(0) + u32(24) + u32(0) + u32(24)
hello = u32(0x4C483854) + u32(1) + u32(4242) + u32(0)
req = lambda code, data, out: u32(0x51523854) + u32(code) + u32(len(data)) + u32(out) + data
write("pipe_frames", "info", hello_reply + reply + hello + req(IOCTL["GET_DRIVER_INFO"], b"", 24))
write("pipe_frames", "register", hello_reply + reply + hello +
      req(IOCTL["SET_MESSAGE_EVENTS"], struct.pack("<QQ", 1, 2), 0) + req(IOCTL["REGISTER_INITIATOR"], u32(2), 0) +
      req(IOCTL["GET_DEVICE_LIST"], b"", 1124))
write("pipe_frames", "post", hello_reply + reply + hello + req(IOCTL["SET_MESSAGE_EVENTS"], struct.pack("<QQ", 1, 2), 0) +
      req(IOCTL["REGISTER_INITIATOR"], u32(0), 0) + req(IOCTL["POST_MESSAGE"], message(3, 3010, b"")[:32], 0))


# simulated driver: operations.
def sim_request(idx, code, data, out, flags=0):
    return u8(2) + u8(idx) + u8(0xF0) + u32(code) + u8(flags) + u16(len(data)) + u16(out) + data


OPEN, BIND, REG, STEP = u8(0) + u8(0), u8(4) + u8(0) + u8(0), lambda i: u8(5) + u8(0) + u8(i), u8(6) + u8(0)
write("simdriver", "state", OPEN + sim_request(0, IOCTL["GET_STREAM_STATE"], b"", 64) + sim_request(0, IOCTL["GET_DEVICE_LIST"], b"", 1124))
write("simdriver", "service", OPEN + REG(0) + BIND + sim_request(0, IOCTL["STREAM_COMMAND"], u32(2) + u32(0), 0) +
      sim_request(0, IOCTL["SET_SAMPLE_RATE"], u32(44100), 0) + sim_request(0, IOCTL["GET_GAINS"], b"", 4096))
write("simdriver", "asio", OPEN + OPEN + REG(0) + u8(5) + u8(1) + u8(1) + u8(4) + u8(1) + u8(0) +
      sim_request(1, IOCTL["ASIO_GET_FORMAT"], b"", 64) +
      sim_request(1, IOCTL["ASIO_SET_SWITCH_CONTROL"], struct.pack("<QQ", 0x10000, 3), 0) +
      sim_request(1, IOCTL["ASIO_START"], b"", 0) + STEP + STEP + u8(1) + u8(1))
write("simdriver", "relay", OPEN + OPEN + REG(0) + u8(5) + u8(1) + u8(2) +
      sim_request(1, IOCTL["POST_MESSAGE"], message(1, 1001, u32(44100))[:36], 0) +
      sim_request(0, IOCTL["READ_MESSAGE"], b"", 544) + u8(7) + u8(0) + u8(7) + u8(1))


# service: operations.
def svc(op, code, payload, seq=9):
    return u8(op) + u8(0xF0) + u32(code) + u32(seq) + u8(2) + u8(0) + u16(len(payload)) + payload


write("service", "rate", svc(0, 1001, u32(44100)) + svc(0, 1002, u32(3) + u32(1) + u32(0)) + svc(0, 1005, u32(1)))
write("service", "activity", u8(5) + u8(0) + u8(1) + svc(3, 3003, b"") + svc(3, 3015, u32(1) + u32(0)) +
      svc(3, 3004, b"") + svc(0, 1004, u8(1)))
write("service", "config", svc(0, 11002, u32(0) * 4) + svc(0, 11001, u32(0) * 4) + svc(0, 1003, u32(0) + u32(0) + u32(1)))
write("service", "replug", u8(6) + svc(3, 3020, b"") + u8(0x86) + svc(3, 3005, b"") + svc(3, 3060, u32(0) * 4) +
      u8(7) + u8(0xF0) + u32(IOCTL["STREAM_COMMAND"]) + svc(0, 1001, u32(96000)))
