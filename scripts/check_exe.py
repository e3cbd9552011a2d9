#!/usr/bin/python3
"""make dist: reads Recorder.exe back before it is packed and fails, naming each thing missing, unless
it carries what Windows and its users' tools look for in a desktop program.

    check_exe.py PACKED_EXE BUILT_EXE

PACKED_EXE is the program as it goes into the download; BUILT_EXE the build tree's copy, whose symbols
name the calls that show the stack canaries and the fortified calls. Run by Debian's own Python, which
python3-pefile installs into.
"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import pefile

# ASLR (anywhere in the 64-bit space), DEP, and no compatibility shims on a session host.
FLAGS = ["DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT", "TERMINAL_SERVER_AWARE"]

# DLLs that Windows 7 to 11 load from the system folder only (known DLLs, ntdll before them): a file of
# another name beside the program would be loaded in its place.
SYSTEM_DLLS = {"ntdll.dll", "kernel32.dll", "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll",
               "imm32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll",
               "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
               "user32.dll", "wldap32.dll", "ws2_32.dll"}

SUPPORTED_OS = {"Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                "Windows 10/11": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}

NS = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
      "compat": "urn:schemas-microsoft-com:compatibility.v1",
      "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}


def check_header(pe, missing, facts):
    characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
    set_flags = [f for f in FLAGS if characteristics & pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_" + f]]
    missing += [f"the PE flag {f}" for f in FLAGS if f not in set_flags]
    if not hasattr(pe, "DIRECTORY_ENTRY_BASERELOC"):
        missing.append("base relocations (without them DYNAMIC_BASE cannot move the program)")
    facts.append(f"PE flags 0x{characteristics:04x}: {' '.join(set_flags)}")
    for section in pe.sections:
        if section.IMAGE_SCN_MEM_WRITE and section.IMAGE_SCN_MEM_EXECUTE:
            name = section.Name.rstrip(b"\0").decode()
            missing.append(f"a section that is not both writable and executable: {name} is")


def check_imports(pe, missing, facts):
    imported = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    imported += [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    missing += [f"imports from the system's own DLLs only: {dll} is not one" for dll in imported
                if dll.lower() not in SYSTEM_DLLS]
    facts.append(f"imports {' '.join(imported)}")


def manifest_of(pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return None
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            for name in kind.directory.entries:
                if name.id == 1:  # the process's own manifest
                    data = name.directory.entries[0].data.struct
                    return pe.get_data(data.OffsetToData, data.Size)
    return None


def check_manifest(pe, missing, facts):
    text = manifest_of(pe)
    if text is None:
        missing.append("the manifest (RT_MANIFEST 1)")
        return
    root = ElementTree.fromstring(text)
    level = root.find("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel", NS)
    if level is None or level.get("level") != "asInvoker":
        missing.append("trustInfo with requestedExecutionLevel asInvoker in the manifest")
    ids = {entry.get("Id", "").lower()
           for entry in root.findall("compat:compatibility/compat:application/compat:supportedOS", NS)}
    missing += [f"the supportedOS entry of {name} in the manifest" for name, guid in SUPPORTED_OS.items()
                if guid not in ids]
    long_paths = root.find("v3:application/v3:windowsSettings/ws2016:longPathAware", NS)
    if long_paths is None or (long_paths.text or "").strip().lower() != "true":
        missing.append("longPathAware true in the manifest")
    facts.append(f"manifest: requestedExecutionLevel {None if level is None else level.get('level')}; supportedOS "
                 f"{', '.join(n for n, g in SUPPORTED_OS.items() if g in ids)}; longPathAware "
                 f"{None if long_paths is None else long_paths.text}")


def check_calls(built, missing, facts):
    # Stack canaries and fortified calls leave no flag: only calls of their failure paths and of the
    # checked copies from our own code (libssp, which holds those, calls them itself too).
    listing = subprocess.run(["x86_64-w64-mingw32-objdump", "-d", "--no-show-raw-insn", built], capture_output=True,
                             text=True, check=True).stdout
    callers = {"canary": set(), "fortified": set()}
    function = ""
    for line in listing.splitlines():
        header = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
        if header:
            function = header[1]
            continue
        target = re.search(r"\scall\s+[0-9a-f]+ <(__\w*chk\w*)>", line)
        if not target or re.fullmatch(r"__\w+_chk|__chk_fail|__stack_chk_fail(_local)?", function):
            continue
        if target[1] == "__stack_chk_fail":
            callers["canary"].add(function)
        elif re.fullmatch(r"__\w+_chk|__chk_fail", target[1]):
            callers["fortified"].add(function)
    for kind, what in (("canary", "stack protection (-fstack-protector-strong)"),
                       ("fortified", "fortified string and memory calls (_FORTIFY_SOURCE=2)")):
        if not callers[kind]:
            missing.append(f"{what}: no function of {built} checks it")
    facts.append(f"stack canaries checked in {len(callers['canary'])} functions, fortified calls in "
                 f"{len(callers['fortified'])}")


def main():
    packed, built = sys.argv[1:]
    pe = pefile.PE(packed)
    missing, facts = [], []
    check_header(pe, missing, facts)
    check_imports(pe, missing, facts)
    check_manifest(pe, missing, facts)
    check_calls(built, missing, facts)
    for fact in facts:
        print(f"Recorder.exe: {fact}")
    if missing:
        sys.exit("make dist: Recorder.exe lacks\n  " + "\n  ".join(missing))


if __name__ == "__main__":
    main()
