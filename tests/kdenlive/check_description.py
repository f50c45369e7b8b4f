#!/usr/bin/env python3
"""Checks Kdenlive's description of the frei0r mixer against the descriptions
Kdenlive itself ships, and against the plugin as MLT sees it.

    check_description.py OURS.xml KDENLIVE_DATA MLT_METADATA.yml STYLE_NAMES

KDENLIVE_DATA is Kdenlive's data folder (/usr/share/kdenlive). Its own
transitions and effects give the vocabulary: the elements, attributes and
parameter types Kdenlive reads. MLT_METADATA.yml is what
`melt -query transition=frei0r.mirel` prints; STYLE_NAMES holds the names of
styles 1..150, one a line. Prints each fault and exits 1 if there is one.
"""
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

ours_path, data_dir, metadata_path, names_path = sys.argv[1:5]
faults = []


def fault(text):
    faults.append(text)


# The vocabulary of Kdenlive's own descriptions.
root_attrs, root_children, param_attrs, param_children, param_types = set(), set(), set(), set(), set()
for path in glob.glob(os.path.join(data_dir, "transitions", "*.xml")):
    root = ET.parse(path).getroot()
    root_attrs |= set(root.attrib)
    root_children |= {child.tag for child in root}
for path in glob.glob(os.path.join(data_dir, "transitions", "*.xml")) + glob.glob(
        os.path.join(data_dir, "effects", "*.xml")):
    for param in ET.parse(path).getroot().iter("parameter"):
        param_attrs |= set(param.attrib)
        param_children |= {child.tag for child in param}
        param_types.add(param.get("type"))
if not root_attrs or "list" not in param_types or "switch" not in param_types:
    sys.exit(f"no descriptions of Kdenlive's found in {data_dir}")

# The plugin's parameters as MLT describes them: title and type.
mlt_params = dict(re.findall(r"title: (\S+)\n\s+description: .*\n\s+type: (\w+)",
                             open(metadata_path).read()))
if not mlt_params:
    sys.exit(f"MLT describes no parameters in {metadata_path}")
names = open(names_path).read().splitlines()

text = open(ours_path, encoding="utf-8").read()
if not text.startswith('<?xml version="1.0"?>\n<!DOCTYPE kpartgui>\n'):
    fault("does not open as Kdenlive's descriptions do")
root = ET.fromstring(text.encode("utf-8"))
if root.tag != "transition":
    fault(f"root element <{root.tag}>, not <transition>")
for attr in set(root.attrib) - root_attrs:
    fault(f"root attribute {attr} is not one Kdenlive's descriptions use")
if root.get("tag") != "frei0r.mirel" or root.get("id") != "frei0r.mirel":
    fault(f"tag {root.get('tag')} and id {root.get('id')}: both must be frei0r.mirel")
for child in root:
    if child.tag not in root_children:
        fault(f"element <{child.tag}> is not one Kdenlive's descriptions use")
if not (root.findtext("name") or "").strip():
    fault("no name")

# Kdenlive's widget types against the MLT types they drive.
widget_for = {"list": "string", "switch": "float", "double": "float", "bool": "boolean"}


def keyframes(value):
    """'0=0;-1=1' as [(0, 0.0), (-1, 1.0)]; None when it is not that form."""
    try:
        return [(int(p), float(v)) for p, v in (kf.split("=") for kf in value.split(";"))]
    except (AttributeError, ValueError):
        return None


params = {}
for param in root.iter("parameter"):
    name, kind = param.get("name"), param.get("type")
    params[name] = param
    for attr in set(param.attrib) - param_attrs:
        fault(f"{name}: attribute {attr} is not one Kdenlive's descriptions use")
    for child in param:
        if child.tag not in param_children:
            fault(f"{name}: element <{child.tag}> is not one Kdenlive's descriptions use")
    if kind not in param_types:
        fault(f"{name}: type {kind} is not one Kdenlive knows")
    if not (param.findtext("name") or "").strip():
        fault(f"{name}: no name shown")
    if name not in mlt_params:
        fault(f"{name}: MLT's frei0r.mirel has no such parameter ({', '.join(mlt_params)})")
    elif widget_for.get(kind) != mlt_params[name]:
        fault(f"{name}: a {kind} widget for MLT's {mlt_params[name]}")
    if kind == "double":
        low, default, high = (float(param.get(a)) for a in ("min", "default", "max"))
        if not low <= default <= high:
            fault(f"{name}: default {default} outside {low}..{high}")

missing = set(mlt_params) - set(params)
if missing:
    fault(f"no widget for {', '.join(sorted(missing))}")

style = params.get("style")
if style is not None:
    values = style.get("paramlist", "").split(";")
    shown = (style.findtext("paramlistdisplay") or "").split(",")
    if values != [str(n) for n in range(1, 151)]:
        fault("the style values are not 1..150 in order")
    if shown != names:
        first = next((i for i, (a, b) in enumerate(zip(shown, names)) if a != b), min(len(shown), len(names)))
        fault(f"the style names differ from the catalogue's from style {first + 1} "
              f"({len(shown)} names shown, {len(names)} in the catalogue)")
    if style.get("default") not in values:
        fault(f"the default style {style.get('default')} is not in the list")

progress = params.get("progress")
if progress is not None:
    # A switch is off at min and on at max; Kdenlive's own Wipe plays forward when off.
    if progress.get("type") != "switch":
        fault("progress is not animated over the composition")
    elif progress.get("default") != progress.get("min"):
        fault("progress: the default is not the switch's off state")
    elif keyframes(progress.get("min")) != [(0, 0.0), (-1, 1.0)]:
        fault(f"progress: {progress.get('min')} does not run from 0 at the start to 1 at the end")
    elif keyframes(progress.get("max")) != [(0, 1.0), (-1, 0.0)]:
        fault(f"progress: {progress.get('max')} does not run from 1 at the start to 0 at the end")

for text in faults:
    print(f"FAIL: {text}")
if faults:
    sys.exit(1)
print(f"the description reads as Kdenlive's own ({len(params)} parameters, {len(names)} styles)")
