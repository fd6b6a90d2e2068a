#!/usr/bin/env python3
"""Fails when a product file includes what its layer may not.

The product is layered, each layer including only the ones below it (and itself):

    runner/ guard/            the host's process and its windows; the proxy guard's process
    bridge/                   the desktop facilities, one class each, around their hub
    proxy/                    keeping the user's proxy, for the bridge, the guard and the installer
    messaging/                channels and their codec; portable
    common/ engine_api/ resources/   the ground floor

Nothing of the product includes what stands outside it (devkit/, tests/, bench/, fuzz/,
installer/). Inside bridge/, the hub (desktop_bridge) owns the facilities and the calls run one
way: no facility file includes the hub's header or another facility's, only its own and the
shared headers of values and interfaces listed below. The runner sees of the bridge only the hub
and the window messages. Prints one line per offending include and exits 1 if there is any.
"""
import pathlib
import re
import sys

RANKS = {
    "common": 0,
    "engine_api": 0,
    "resources": 0,
    "messaging": 1,
    "proxy": 2,
    "bridge": 3,
    "runner": 4,
    "guard": 4,
}
OUTSIDE = {"devkit", "tests", "bench", "fuzz", "installer"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# The bridge's hub: it may include every header of the bridge.
BRIDGE_HUB = {"desktop_bridge"}
# Headers any file of the bridge may include: values, pure functions on them, interfaces and the
# system's seam. Each holds no facility's state.
BRIDGE_SHARED = {
    "app_icon",
    "app_identifier",
    "app_identity",
    "display_monitors",
    "folder_listing",
    "host_services",
    "method_arguments",
    "system_calls",
    "virtual_desktops",
    "window_cloaking",
    "window_messages",
}
# Each facility with the units of its own: a unit includes its facility's and the shared ones.
BRIDGE_FACILITIES = {
    "foreground": {"foreground_watcher"},
    "idle time": {"idle_time"},
    "launching": {"launch_app"},
    "mini mode": {"mini_mode", "mini_window_geometry"},
    "shell jobs": {"shell_jobs", "shell_worker", "app_catalog", "app_icons"},
    "startup": {"startup_entry"},
    "tray": {"tray_icon", "tray_menu", "tray_retry"},
    "window blocking": {"window_blocker", "window_blocking"},
    "window icons": {"window_icons"},
}
# What the runner may include of the bridge.
RUNNER_SEES_OF_BRIDGE = {"bridge/desktop_bridge.h", "bridge/window_messages.h"}


def bridge_unit(include: str) -> str:
    return pathlib.PurePosixPath(include).stem


def facility_of(unit: str):
    for facility, units in BRIDGE_FACILITIES.items():
        if unit in units:
            return facility
    return None


def bridge_fault(path: pathlib.Path, include: str):
    """Why |path| of bridge/ may not include |include| of bridge/; None when it may."""
    unit = path.stem
    target = bridge_unit(include)
    if unit in BRIDGE_HUB:
        return None
    if unit in BRIDGE_SHARED:
        if target in BRIDGE_SHARED:
            return None
        return f"the shared {unit} includes {include}, which is a facility's or the hub's"
    facility = facility_of(unit)
    if facility is None:
        return f"{unit} is neither the hub, a shared header nor a facility's (list it)"
    if target in BRIDGE_HUB:
        return f"the {facility} facility includes the hub's header {include}"
    if target in BRIDGE_SHARED or target in BRIDGE_FACILITIES[facility]:
        return None
    if facility_of(target) is None:
        return f"{include} is neither the hub, a shared header nor a facility's (list it)"
    return f"the {facility} facility includes {include}, of the {facility_of(target)} facility"


def main(root: pathlib.Path) -> int:
    faults = []
    for layer, rank in RANKS.items():
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".rc"):
                continue
            for line_number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                include = match.group(1)
                where = f"{path.relative_to(root)}:{line_number}"
                target = include.split("/")[0]
                if target in OUTSIDE or RANKS.get(target, -1) > rank:
                    faults.append(f"{where}: {layer}/ includes {include}, which is above it")
                elif layer == "bridge" and target == "bridge":
                    fault = bridge_fault(path, include)
                    if fault:
                        faults.append(f"{where}: {fault}")
                elif layer == "runner" and target == "bridge":
                    if include not in RUNNER_SEES_OF_BRIDGE:
                        faults.append(f"{where}: runner/ includes {include}; of the bridge it "
                                      f"sees only {', '.join(sorted(RUNNER_SEES_OF_BRIDGE))}")
    for path in sorted((root / "bridge").glob("*")):
        unit = path.stem
        if path.suffix in (".h", ".cpp") and unit not in BRIDGE_HUB | BRIDGE_SHARED and \
                facility_of(unit) is None:
            faults.append(f"{path.relative_to(root)}: neither the hub, a shared header nor a "
                          f"facility's (list it)")
    for fault in faults:
        print(fault)
    print(f"layers: {len(faults)} includes pointing up or across")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")))
