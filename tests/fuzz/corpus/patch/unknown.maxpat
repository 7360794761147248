{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "text": "nosuchthing 1 2", "patching_rect": [10.0, 10.0, 90.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "nosuchui", "patching_rect": [10.0, 40.0, 90.0, 22.0]}},
            {"box": {"id": "obj-3", "maxclass": "newobj", "text": "print p", "patching_rect": [10.0, 70.0, 50.0, 22.0]}},
            {"box": {"id": "obj-4", "maxclass": "message", "text": "hi", "patching_rect": [100.0, 10.0, 30.0, 22.0]}},
            {"box": {"maxclass": "message", "varname": "anon", "text": "x y", "patching_rect": [100.0, 70.0, 50.0, 22.0]}},
            {"box": {"id": "obj-6", "text": "no class here"}}
        ],
        "lines": [
            {"patchline": {"source": ["obj-1", 0], "destination": ["obj-3", 0]}},
            {"patchline": {"source": ["obj-4", 0], "destination": ["obj-3", 0]}},
            {"patchline": {"source": ["obj-4", 0], "destination": ["obj-99", 0]}}
        ]
    }
}
