{
	"patcher": {
		"fileversion": 1,
		"appversion": {
			"major": 8,
			"minor": 2,
			"revision": 0,
			"architecture": "x64",
			"modernui": 1
		},
		"classnamespace": "box",
		"rect": [
			40.0,
			60.0,
			760.0,
			580.0
		],
		"bglocked": 0,
		"openinpresentation": 0,
		"default_fontsize": 12.0,
		"default_fontface": 0,
		"default_fontname": "Arial",
		"gridonopen": 1,
		"gridsize": [
			15.0,
			15.0
		],
		"gridsnaponopen": 1,
		"objectsnaponopen": 1,
		"statusbarvisible": 2,
		"toolbarvisible": 1,
		"lefttoolbarpinned": 0,
		"toptoolbarpinned": 0,
		"righttoolbarpinned": 0,
		"bottomtoolbarpinned": 0,
		"toolbars_unpinned_last_save": 0,
		"tallnewobj": 0,
		"boxanimatetime": 200,
		"enablehscroll": 1,
		"enablevscroll": 1,
		"devicewidth": 0.0,
		"description": "",
		"digest": "",
		"tags": "",
		"style": "",
		"subpatcher_template": "",
		"assistshowspatchername": 0,
		"boxes": [
			{
				"box": {
					"id": "obj-1",
					"maxclass": "newobj",
					"numinlets": 1,
					"numoutlets": 2,
					"outlettype": [
						"float",
						"bang"
					],
					"patching_rect": [
						30.0,
						10.0,
						160.0,
						22.0
					],
					"text": "buffer~ demo demo.wav",
					"varname": "buffer"
				}
			},
			{
				"box": {
					"buffer_chan": 1,
					"buffer_name": "demo",
					"color_scheme": 0,
					"id": "obj-2",
					"mag_max": 0.0,
					"mag_min": -90.0,
					"maxclass": "spectrogram~",
					"numinlets": 9,
					"numoutlets": 10,
					"outlettype": [
						"float",
						"float",
						"float",
						"float",
						"float",
						"float",
						"float",
						"float",
						"list",
						"list"
					],
					"patching_rect": [
						30.0,
						40.0,
						640.0,
						240.0
					],
					"varname": "left"
				}
			},
			{
				"box": {
					"buffer_chan": 2,
					"buffer_name": "demo",
					"color_scheme": 0,
					"id": "obj-3",
					"mag_max": 0.0,
					"mag_min": -90.0,
					"maxclass": "spectrogram~",
					"numinlets": 9,
					"numoutlets": 10,
					"outlettype": [
						"float",
						"float",
						"float",
						"float",
						"float",
						"float",
						"float",
						"float",
						"list",
						"list"
					],
					"patching_rect": [
						30.0,
						300.0,
						640.0,
						240.0
					],
					"varname": "right"
				}
			},
			{
				"box": {
					"id": "obj-4",
					"maxclass": "gradix",
					"numinlets": 1,
					"numoutlets": 1,
					"outlettype": [
						""
					],
					"patching_rect": [
						680.0,
						40.0,
						40.0,
						240.0
					],
					"varname": "bar"
				}
			}
		],
		"lines": [
			{
				"patchline": {
					"source": [
						"obj-2",
						8
					],
					"destination": [
						"obj-3",
						8
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-3",
						8
					],
					"destination": [
						"obj-2",
						8
					]
				}
			},
			{
				"patchline": {
					"source": [
						"obj-4",
						0
					],
					"destination": [
						"obj-2",
						0
					]
				}
			}
		],
		"dependency_cache": [],
		"autosave": 0
	}
}
