"""Snapshots of the machine's processors, disks and memory, through systemmonitor-c.

    import systemmonitor
    root = systemmonitor.snapshot()        # a Node tree of plain dataclasses
    print(root.to_dict())                   # the `hwsnap --json` form as Python values
    print(systemmonitor.snapshot_json())    # ... and as hwsnap prints it

The C library is found through SYSTEMMONITOR_LIBRARY (a path), next to this package, or in the
system's library path, in that order.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import math
import os
import sys
import threading
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional, Union

__all__ = ["Node", "Property", "Machine", "SystemMonitorError", "snapshot", "snapshot_json",
           "version"]

_SONAME_MAJOR = 2
_NODE_TYPES = {1: "SYSTEM_ROOT", 2: "SYSTEM_MEMORY", 3: "SYSTEM_CPU", 4: "CPU_PACKAGE",
               5: "CPU_CORE", 6: "DISK", 7: "VOLUME"}
_VALUE_TYPES = {0: "STRING", 1: "INTEGER", 2: "DOUBLE"}


class SystemMonitorError(RuntimeError):
    """A call into the C library failed; the message is the library's."""


def _candidates():
    explicit = os.environ.get("SYSTEMMONITOR_LIBRARY")
    if explicit:
        yield explicit
        return
    here = Path(__file__).resolve().parent
    names = (["systemmonitor-c.dll"] if sys.platform == "win32"
             else [f"libsystemmonitor-c.so.{_SONAME_MAJOR}", "libsystemmonitor-c.so"])
    for folder in (here, here.parent):
        for name in names:
            if (folder / name).exists():
                yield str(folder / name)
    found = ctypes.util.find_library("systemmonitor-c")
    yield from ([found] if found else [])
    yield from names  # the dynamic loader's own search


_lib = None
_lib_lock = threading.Lock()


def _library():
    global _lib
    with _lib_lock:
        if _lib is None:
            errors = []
            for candidate in _candidates():
                try:
                    _lib = _declare(ctypes.CDLL(candidate))
                    break
                except OSError as error:
                    errors.append(str(error))
            else:
                raise SystemMonitorError("cannot load systemmonitor-c: " + "; ".join(errors))
        return _lib


def _declare(lib):
    p, text, size = ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t
    signatures = {
        "sm_version": (text, []), "sm_last_error": (text, []),
        "sm_snapshot_take": (p, []), "sm_snapshot_free": (None, [p]),
        "sm_snapshot_root": (p, [p]), "sm_snapshot_to_json": (text, [p]),
        "sm_node_type_of": (ctypes.c_int, [p]), "sm_node_name": (text, [p]),
        "sm_node_key": (text, [p]), "sm_node_child_count": (size, [p]),
        "sm_node_child": (p, [p, size]), "sm_node_property_count": (size, [p]),
        "sm_node_property": (p, [p, size]), "sm_property_key": (text, [p]),
        "sm_property_type": (ctypes.c_int, [p]), "sm_property_text": (text, [p]),
        "sm_property_integer": (ctypes.c_int64, [p]), "sm_property_double": (ctypes.c_double, [p]),
        "sm_machine_open": (p, [text]), "sm_machine_step_count": (size, [p]),
        "sm_machine_step": (ctypes.c_int, [p, size]), "sm_machine_close": (None, [p]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype, function.argtypes = restype, argtypes
    return lib


def _failed(lib):
    return SystemMonitorError(lib.sm_last_error().decode("utf-8", "replace"))


def _text(raw: bytes) -> str:
    return raw.decode("utf-8", "replace")


@dataclass(frozen=True)
class Property:
    key: str
    type: str  # "STRING", "INTEGER" or "DOUBLE"
    value: Union[str, int, float]

    def to_dict(self) -> dict:
        value = self.value
        if isinstance(value, float) and not math.isfinite(value):
            value = None  # as JSON has no such number
        return {"key": self.key, "type": self.type, "value": value}


@dataclass(frozen=True)
class Node:
    type: str  # "SYSTEM_ROOT", "CPU_CORE", ...
    name: str
    key: str
    properties: list = field(default_factory=list)
    children: list = field(default_factory=list)

    def to_dict(self) -> dict:
        return {"type": self.type, "name": self.name, "key": self.key,
                "properties": [p.to_dict() for p in self.properties],
                "children": [c.to_dict() for c in self.children]}


def _property(lib, handle) -> Property:
    kind = _VALUE_TYPES[lib.sm_property_type(handle)]
    if kind == "INTEGER":
        value = lib.sm_property_integer(handle)
    elif kind == "DOUBLE":
        value = lib.sm_property_double(handle)
    else:
        value = _text(lib.sm_property_text(handle))
    return Property(_text(lib.sm_property_key(handle)), kind, value)


def _node(lib, handle) -> Node:
    return Node(_NODE_TYPES[lib.sm_node_type_of(handle)], _text(lib.sm_node_name(handle)),
                _text(lib.sm_node_key(handle)),
                [_property(lib, lib.sm_node_property(handle, i))
                 for i in range(lib.sm_node_property_count(handle))],
                [_node(lib, lib.sm_node_child(handle, i))
                 for i in range(lib.sm_node_child_count(handle))])


def _with_snapshot(read):
    lib = _library()
    handle = lib.sm_snapshot_take()
    if not handle:
        raise _failed(lib)
    try:
        return read(lib, handle)
    finally:
        lib.sm_snapshot_free(handle)


def snapshot() -> Node:
    """A snapshot of the machine (the simulated one while a Machine is open)."""
    return _with_snapshot(lambda lib, handle: _node(lib, lib.sm_snapshot_root(handle)))


def snapshot_json() -> str:
    """A snapshot as one line of JSON, exactly as `hwsnap --json` prints it."""
    return _with_snapshot(lambda lib, handle: _text(lib.sm_snapshot_to_json(handle)))


def version() -> str:
    return _text(_library().sm_version())


class Machine:
    """A simulated machine (a JSON file) that answers in place of the real one for the rest of
    the process. Once per process, before the first snapshot."""

    def __init__(self, path: Union[str, os.PathLike]):
        self._lib = _library()
        self._handle: Optional[int] = self._lib.sm_machine_open(os.fsencode(path))
        if not self._handle:
            raise _failed(self._lib)

    @property
    def step_count(self) -> int:
        return self._lib.sm_machine_step_count(self._handle)

    def step(self, index: int) -> None:
        """Moves the machine's clock and state to step `index`."""
        if self._lib.sm_machine_step(self._handle, index) != 0:
            raise _failed(self._lib)

    def close(self) -> None:
        if self._handle:
            self._lib.sm_machine_close(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
