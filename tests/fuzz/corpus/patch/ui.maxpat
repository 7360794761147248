{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "testui", "varname": "ui", "patching_rect": [10.0, 20.0, 80.0, 40.0],
                     "count": 12, "gain": 3, "label": "my label", "color": [1, 0, 0, 1], "flag": false,
                     "numinlets": 4, "numoutlets": 3, "fontsize": 20.0,
                     "saved_attribute_attributes": {"color": {"expression": ""}}}},
            {"box": {"id": "obj-2", "maxclass": "menuui", "varname": "mu", "patching_rect": [200.0, 20.0, 64.0, 32.0]}},
            {"box": {"id": "obj-3", "maxclass": "newobj", "text": "print state", "patching_rect": [10.0, 100.0, 60.0, 22.0]}},
            {"box": {"id": "obj-4", "maxclass": "testui", "patching_rect": [300.0, 20.0, 120.0, 60.0]}}
        ],
        "lines": [
            {"patchline": {"source": ["obj-1", 1], "destination": ["obj-3", 0]}}
        ]
    }
}
