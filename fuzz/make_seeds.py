#!/usr/bin/env python3
"""Writes the seed corpus of the component fuzz target: host sessions as a real host runs them,
encoded in the byte form that component_fuzzer.cpp decodes.

The target reads its input with clang's FuzzedDataProvider: numbers come from the end of the
input (the first number read is the last byte, most significant byte first), texts and raw
records from the front. Each function below makes the same reads, in the same order, as the
step of the target with the same name; keep the two in step when the target changes.

Usage: fuzz/make_seeds.py [directory]   (default: fuzz/corpus next to this script)
"""

import os
import struct
import sys

KNOWN_TEXTS = [
    "GetVersion", "GetDescription", "GetLastError", "GetParameters", "SetParameter",
    "Open", "Close", "DeviceTest", "GetAdditionalActions", "DoAdditionalAction",
    "ПолучитьНомерВерсии", "ПолучитьОписание", "ПолучитьОшибку", "ПолучитьПараметры",
    "УстановитьПараметр", "Подключить", "Отключить", "ТестУстройства",
    "ПолучитьДополнительныеДействия", "ВыполнитьДополнительноеДействие",
    "MobileBarcodeScanner", "BluetoothDevice", "bluetoothdevice", "00:11:22:33:44:55",
    "%s%n%x%s%s%s%s", "", "ru_RU", "\U0001F600", "\uDC00\uD800",
]
PARAMETER_COUNTS = [0, 7, 1, 1, 2, 1, 1, 2, 1, 1]
EMPTY, INT32, BOOL, STRING = 0, 3, 11, 22
TYPE_CHOICES = [EMPTY, INT32, BOOL, STRING, STRING]


class Input:
    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in reading order

    def integer(self, low, high, value):
        assert low <= value <= high
        span, offset = high - low, value - low
        width = 0
        while width < 8 and (span >> (8 * width)) > 0:
            width += 1
        self.back += offset.to_bytes(width, "big") if width else b""

    def boolean(self, value):
        self.integer(0, 255, 1 if value else 0)

    def int32(self, value):
        self.integer(-(2**31), 2**31 - 1, value)

    def raw_string(self, data, limit):
        # A backslash is written twice; a backslash and another byte end the text early.
        assert len(data) <= limit
        for byte in data:
            self.front += b"\\\\" if byte == 0x5C else bytes([byte])
        if len(data) < limit:
            self.front += b"\\x"

    def raw_bytes(self, data):
        self.front += data

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


class Session:
    """One fuzz input: the host's calls, in order."""

    def __init__(self):
        self.input = Input()

    def op(self, number):
        self.input.integer(0, 19, number)

    def slot(self, index):
        self.input.integer(0, 1, index)

    # The target's text(): a known text by index, or raw 16-bit units.
    def text(self, text):
        units = text.encode("utf-16-le", "surrogatepass")
        if text in KNOWN_TEXTS:
            self.input.integer(0, 4, 0)
            self.input.integer(0, len(KNOWN_TEXTS) - 1, KNOWN_TEXTS.index(text))
        elif len(set(text)) == 1 and len(text) > 64:
            self.input.integer(0, 4, 3)
            self.input.integer(1, 1 << 17, len(text))
            self.input.integer(1, 0xFFFF, ord(text[0]))
        else:
            self.input.integer(0, 4, 2)
            self.input.raw_string(units, 256)

    def name(self, text):
        if text is None:
            self.input.integer(0, 15, 0)
        else:
            self.input.integer(0, 15, 1)
            self.text(text)

    def number(self, value):
        if -2 <= value <= 11:
            self.input.boolean(True)
            self.input.integer(-2, 11, value)
        else:
            self.input.boolean(False)
            self.input.int32(value)

    def record(self, kind=EMPTY, text=None, length=None):
        self.input.raw_bytes(bytes(52))
        self.input.integer(0, 7, 1)
        self.input.integer(0, len(TYPE_CHOICES) - 1, TYPE_CHOICES.index(kind))
        if kind != STRING:
            return
        if text is None:
            self.input.integer(0, 7, 0)
            self.input.integer(0, 16, length or 0)
            return
        self.input.integer(0, 7, 1)
        self.text(text)
        full = len(text.encode("utf-16-le", "surrogatepass")) // 2
        if length is None or length == full:
            self.input.boolean(True)
        else:
            self.input.boolean(False)
            self.input.integer(0, full, length)

    def create(self, slot=0, class_name="MobileBarcodeScanner"):
        self.op(0)
        self.slot(slot)
        if class_name == "MobileBarcodeScanner":
            self.input.boolean(True)
        else:
            self.input.boolean(False)
            self.name(class_name)

    def destroy(self, slot=0):
        self.op(1)
        self.input.integer(0, 7, 1)
        self.slot(slot)

    def set_memory(self, slot=0, grants=-1):
        """grants: -1 for a manager that grants all, None for no manager, else a count."""
        self.op(2)
        self.slot(slot)
        if grants is None:
            self.input.integer(0, 4, 0)
            return
        self.input.integer(0, 4, 1)
        self.input.boolean(grants < 0)
        if grants >= 0:
            self.input.integer(0, 8, grants)

    def init(self, slot=0, connection=True, helper=False, depth_ok=True):
        self.op(3)
        self.slot(slot)
        if not connection:
            self.input.integer(0, 4, 0)
            return
        self.input.integer(0, 4, 1)
        self.input.boolean(helper)
        self.input.boolean(depth_ok)

    def small_calls(self, slot=0, method=0, done=True):
        self.op(4)
        self.slot(slot)
        self.input.boolean(done)
        self.number(method)
        self.record()
        self.input.boolean(False)
        self.number(0)

    def register_extension(self, slot=0):
        self.op(5)
        self.slot(slot)
        self.input.integer(0, 7, 1)

    def properties(self, slot=0):
        self.op(6)
        self.slot(slot)
        self.number(0)
        self.name("GetVersion")
        self.number(0)
        self.record()
        self.input.integer(0, 7, 1)

    def find_method(self, text, slot=0):
        self.op(7)
        self.slot(slot)
        self.name(text)

    def method_name(self, method, alias, slot=0):
        self.op(9)
        self.slot(slot)
        self.number(method)
        if -1 <= alias <= 2:
            self.input.boolean(True)
            self.input.integer(-1, 2, alias)
        else:
            self.input.boolean(False)
            self.input.int32(alias)

    def parameter_count(self, method, slot=0):
        self.op(10)
        self.slot(slot)
        self.number(method)

    def call(self, method, parameters=None, slot=0):
        """CallAsFunc with the given records (each a (kind, text) pair), empty ones by default."""
        if parameters is None:
            parameters = [(EMPTY, None)] * (PARAMETER_COUNTS[method] if 0 <= method < 10 else 0)
        self.op(11)
        self.number(method)
        self.slot(slot)
        self.input.integer(0, 9, len(parameters))
        for kind, text in parameters:
            self.record(kind, text)
        self.record()
        self.input.integer(0, 15, 1)

    def set_parameter(self, name, value, slot=0):
        self.op(14)
        self.slot(slot)
        if name == "BluetoothDevice":
            self.input.boolean(True)
        else:
            self.input.boolean(False)
            self.text(name)
        self.record()
        self.record(*value)
        self.record()

    def call_as_proc(self, method, slot=0):
        self.op(17)
        self.slot(slot)
        self.input.integer(0, 3, 0)
        self.number(method)

    def locale(self, text, slot=0):
        self.op(18)
        self.slot(slot)
        self.name(text)

    def exports(self, capabilities=3):
        self.op(19)
        self.input.int32(capabilities)
        self.input.integer(0, 7, 1)


def full_session(memory=-1, helper=False):
    s = Session()
    s.exports()
    s.create()
    s.set_memory(grants=memory)
    s.init(helper=helper)
    s.register_extension()
    s.locale("ru_RU")
    s.small_calls()
    for text in KNOWN_TEXTS[:20]:
        s.find_method(text)
    for method in range(10):
        s.parameter_count(method)
        s.method_name(method, 0)
        s.method_name(method, 1)
    s.call(0)
    s.call(1)
    s.call(3)
    s.set_parameter("BluetoothDevice", (STRING, "00:11:22:33:44:55"))
    s.call(5)
    s.call(7)
    s.call(2)
    s.call(6)
    s.call(8)
    s.call(9)
    s.small_calls(done=True)
    s.destroy()
    return s


def bad_inputs():
    s = Session()
    s.create(class_name="mobilebarcodescanner")
    s.create(class_name=None)
    s.create()
    s.create()  # the slot is taken
    s.call(0)  # no memory manager yet
    s.set_memory(grants=2)
    s.init(connection=False)
    s.init(helper=True, depth_ok=False)
    s.init(helper=False)  # a second Init
    for method in (-1, 10, 2**31 - 1, -(2**31)):
        s.call(method)
        s.parameter_count(method)
        s.method_name(method, 0)
    s.method_name(4, 2)
    s.method_name(4, -7)
    s.call(1, [(EMPTY, None)] * 3)  # fewer records than announced
    s.call(7, [])
    s.find_method("GetVersion ")
    s.find_method("getversion")
    s.find_method("")
    s.find_method(None)
    s.set_parameter("bluetoothdevice", (STRING, "x"))
    s.set_parameter("BluetoothDevice", (INT32, None))
    s.set_parameter("BluetoothDevice", (STRING, None))
    s.set_parameter("BluetoothDevice", (STRING, "A" * 5000))
    s.set_parameter("%s%n%x%s%s%s%s", (STRING, "%s%n%x%s%s%s%s"))
    s.call(4, [(BOOL, None), (STRING, "\U0001F600")])
    s.call_as_proc(0)
    s.properties()
    s.locale(None)
    s.destroy()
    s.destroy()
    return s


def two_components():
    s = Session()
    s.create(0)
    s.create(1)
    s.set_memory(0, grants=-1)
    s.set_memory(1, grants=0)  # a host that refuses every block
    s.init(0)
    s.init(1, helper=True)
    s.call(0, slot=0)
    s.call(0, slot=1)
    s.call(1, slot=1)
    s.set_memory(0, grants=None)
    s.call(2, slot=0)
    s.destroy(1)
    s.call(3, slot=0)
    s.destroy(0)
    return s


SEEDS = {
    "host_session": full_session(),
    "host_session_with_helper": full_session(helper=True),
    "host_session_short_memory": full_session(memory=3),
    "host_session_refusing_memory": full_session(memory=0),
    "bad_inputs": bad_inputs(),
    "two_components": two_components(),
}


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(target, exist_ok=True)
    for name, session in SEEDS.items():
        with open(os.path.join(target, name), "wb") as out:
            out.write(session.input.bytes())


if __name__ == "__main__":
    main()
