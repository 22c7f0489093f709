#!/usr/bin/env python3
"""Checks the source tree's structure that include paths cannot express.

- No include circle: a file's node is its path without the extension (a header and its .cpp are
  one node); a node points at every node whose header it includes. A circle among the nodes is
  an error, listed with its members.
- The system headers of the backends (X11, XCB, PulseAudio, PipeWire, FFmpeg, libjpeg-turbo,
  wayland-client) are included only in platform/'s implementation folders.

Usage: check_sources.py SOURCE_DIR. Exits 1 and lists what is wrong.
"""
import os
import re
import sys

SOURCE_FOLDERS = ["platform", "framework", "recorder", "audio", "capture_area", "options",
                  "tools", "shell", "resources", "cli"]
BACKEND_FOLDERS = ["platform/x11", "platform/pulse", "platform/ffmpeg", "platform/jpeg",
                   "platform/pipewire", "platform/portal", "platform/wayland", "platform/loader"]
BACKEND_HEADER = re.compile(
    r'#\s*include\s*<(X11/|xcb/|pulse/|pipewire/|spa/|libav\w*/|libsw\w*/|turbojpeg\.h|'
    r'wayland-)')
LOCAL_INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')


def source_files(root):
    for folder in SOURCE_FOLDERS:
        for base, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    path = os.path.join(base, name)
                    yield os.path.relpath(path, root).replace(os.sep, "/")


def node_of(path):
    return path.rsplit(".", 1)[0]


def circles(graph):
    """Strongly connected components with more than one node (Tarjan, without recursion)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, edges = work[-1]
            advanced = False
            for nxt in edges:
                if nxt not in graph:
                    continue
                if nxt not in index:
                    index[nxt] = low[nxt] = counter
                    counter += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph[nxt]))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                members = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    members.append(member)
                    if member == node:
                        break
                if len(members) > 1:
                    found.append(sorted(members))
    return found


def main():
    root = sys.argv[1]
    problems = []
    graph = {}
    for path in source_files(root):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            text = f.read()
        node = node_of(path)
        edges = graph.setdefault(node, set())
        for included in LOCAL_INCLUDE.findall(text):
            if os.path.exists(os.path.join(root, included)) and node_of(included) != node:
                edges.add(node_of(included))
        if not any(path.startswith(folder + "/") for folder in BACKEND_FOLDERS):
            for match in BACKEND_HEADER.finditer(text):
                problems.append(f"{path}: a backend's header <{match.group(1)}...> outside "
                                "platform/'s implementation folders")
    for members in circles(graph):
        problems.append("include circle: " + " -> ".join(members))
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f"{len(graph)} source nodes, no include circle, backend headers in place")
    return 0


if __name__ == "__main__":
    sys.exit(main())
