"""Driver for Kestrune's remote-control port (docs/remote-protocol.md)."""

from .client import (
    Client,
    Device,
    KestruneError,
    Limits,
    ListOutcome,
    Progress,
    ScanOutcome,
    decode_line,
)

__all__ = [
    "Client",
    "Device",
    "KestruneError",
    "Limits",
    "ListOutcome",
    "Progress",
    "ScanOutcome",
    "decode_line",
]
