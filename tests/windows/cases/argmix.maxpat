{
    "patcher": {
        "boxes": [
            {"box": {"id": "obj-1", "maxclass": "newobj", "varname": "mix", "text": "argmix -7 2.5 hello",
                     "patching_rect": [10.0, 10.0, 160.0, 22.0]}},
            {"box": {"id": "obj-2", "maxclass": "newobj", "varname": "bare", "text": "argmix",
                     "patching_rect": [10.0, 50.0, 160.0, 22.0]}}
        ],
        "lines": []
    }
}
